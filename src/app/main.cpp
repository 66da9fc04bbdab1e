// zupictrove: downloads a person's online photo albums to the local disk.

#include <glib-unix.h>

#include <atomic>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/album_listing.h"
#include "app/backup.h"
#include "app/command_line.h"
#include "app/startup.h"
#include "app/verify.h"
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

// The backup's run flag: SIGINT and SIGTERM clear it, and the backup stops at once.
std::atomic<uint8_t> g_backupRunning{1};

void StopBackup(int) {
  g_backupRunning = 0;
}

int RunWindow(int argc, char** argv) {
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

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::string error;
  const std::optional<CommandLine> line =
      ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), &error);
  if (!line) {
    std::fprintf(stderr, "zupictrove: %s\n%s", error.c_str(), UsageText().c_str());
    return kBadArguments;
  }
  switch (line->action) {
    case CommandLine::Action::kHelp:
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    case CommandLine::Action::kVersion:
      std::printf("zupictrove %s\n", ZP_VERSION);
      return 0;
    case CommandLine::Action::kBackup: {
      struct sigaction stop {};
      stop.sa_handler = StopBackup;
      sigaction(SIGINT, &stop, nullptr);
      sigaction(SIGTERM, &stop, nullptr);
      return RunBackup(*line, g_backupRunning);
    }
    case CommandLine::Action::kVerify:
      return RunVerify(*line);
    case CommandLine::Action::kList:
      return RunList(*line, g_backupRunning);
    case CommandLine::Action::kWindow:
      break;
  }
  return RunWindow(argc, argv);
}
