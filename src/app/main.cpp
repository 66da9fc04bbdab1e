// zupictrove: downloads a person's online photo albums to the local disk.

#include <glib-unix.h>

#include <clocale>
#include <csignal>

#include "app/startup.h"
#include "platform/executable_folder.h"
#include "uilib/gtk/gtk_backend.h"
#include "uilib/window_wnd.h"

namespace {

// SIGTERM and SIGINT end the loop like the last window closing: the worker is stopped and the
// program ends normally.
gboolean QuitOnSignal(gpointer) {
  PostQuitMessage(0);
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  if (!InitGtkBackend(&argc, &argv)) {
    return 0;  // no display: nothing to show
  }
  g_unix_signal_add(SIGTERM, QuitOnSignal, nullptr);
  g_unix_signal_add(SIGINT, QuitOnSignal, nullptr);
  SetUiBackend(CreateGtkBackend());
  const int code = RunApplication(ExecutableFolder());
  SetUiBackend(nullptr);
  return code;
}
