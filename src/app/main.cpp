// zupictrove: downloads a person's online photo albums to the local disk.

#include <clocale>

#include "app/startup.h"
#include "platform/executable_folder.h"
#include "uilib/gtk/gtk_backend.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  if (!InitGtkBackend(&argc, &argv)) {
    return 0;  // no display: nothing to show
  }
  SetUiBackend(CreateGtkBackend());
  const int code = RunApplication(ExecutableFolder());
  SetUiBackend(nullptr);
  return code;
}
