#include "gui/gui_support.h"

#include <gtk/gtk.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>

#include "platform/posted_messages.h"
#include "uilib/gtk/gtk_backend.h"
#include "uilib/paint_manager.h"

extern char** environ;

bool StartGtkBackend() {
  int argc = 0;
  char** argv = nullptr;
  if (!InitGtkBackend(&argc, &argv)) {
    return false;
  }
  SetUiBackend(CreateGtkBackend());
  SetPostedMessageWakeup([] { UiBackend()->WakeLoop(); });
  return true;
}

// Runs the GTK loop until `done` holds or the time is up; the loop wakes for every event and at
// least every 50 ms to look again.
bool PumpUntil(const std::function<bool()>& done, int seconds) {
  const guint ticker = g_timeout_add(
      50, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  bool ok = done();
  while (!ok && std::chrono::steady_clock::now() < deadline) {
    g_main_context_iteration(nullptr, TRUE);
    CPaintManagerUI::DispatchPostedMessages();
    ok = done();
  }
  g_source_remove(ticker);
  return ok;
}

pid_t Xdotool(std::vector<std::string> arguments) {
  std::vector<char*> argv;
  static std::string program = "xdotool";
  argv.push_back(program.data());
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  pid_t pid = -1;
  posix_spawnp(&pid, "xdotool", nullptr, nullptr, argv.data(), environ);
  return pid;
}

bool Finished(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == pid;
}

bool XdotoolAndWait(std::vector<std::string> arguments, int seconds) {
  const pid_t pid = Xdotool(std::move(arguments));
  return pid > 0 && PumpUntil([pid] { return Finished(pid); }, seconds);
}
