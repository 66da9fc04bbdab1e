// Start-up time: from starting the program until its main window is on the screen, against a
// minimal GTK window program started the same way, in one run. Needs an X display (run it under
// xvfb-run when there is none).
//
//   startup_bench [runs]    # default 7; prints the median of each and their ratio

#include <X11/Xlib.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/spawn_with_home.h"

namespace {

using Clock = std::chrono::steady_clock;

// The reference: a GTK window of the main window's size, shown as soon as GTK is up.
int RunMinimalWindow(int argc, char** argv) {
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "reference");
  gtk_window_set_default_size(GTK_WINDOW(window), 600, 580);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}

// Milliseconds from starting the program until one of its top-level windows of at least
// 100 by 100 pixels is mapped; a negative number when none is within 30 s.
double TimeToWindow(Display* display, const std::string& program, const std::string& argument,
                    const std::filesystem::path& home) {
  const Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, True);  // drop what came before
  const auto start = Clock::now();
  const pid_t pid = SpawnWithHome(
      program, argument.empty() ? std::vector<std::string>{} : std::vector<std::string>{argument},
      home);
  double elapsed = -1;
  const int fd = ConnectionNumber(display);
  while (Clock::now() - start < std::chrono::seconds(30) && elapsed < 0) {
    if (XPending(display) == 0) {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(fd, &set);
      timeval wait{0, 100000};
      select(fd + 1, &set, nullptr, nullptr, &wait);
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    if (event.type != MapNotify) {
      continue;
    }
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, event.xmap.window, &attributes) != 0 &&
        attributes.width >= 100 && attributes.height >= 100) {
      elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
  }
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  XSelectInput(display, root, NoEventMask);
  return elapsed;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--minimal-window") {
    return RunMinimalWindow(argc, argv);
  }
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "startup_bench: no X display (try xvfb-run)\n");
    return 1;
  }
  // The program runs from a folder of its own, with its skin file, as it would be installed.
  char folderTemplate[] = "/tmp/zp-startup-XXXXXX";
  const std::filesystem::path folder = mkdtemp(folderTemplate);
  std::filesystem::copy_file(ZP_PROGRAM, folder / "zupictrove");
  std::filesystem::copy_file(ZP_SKIN_FILE, folder / "skin.dll");
  std::filesystem::create_directories(folder / "home");
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();

  std::vector<double> program;
  std::vector<double> reference;
  for (int i = 0; i < runs; ++i) {
    reference.push_back(TimeToWindow(display, self, "--minimal-window", folder / "home"));
    program.push_back(TimeToWindow(display, (folder / "zupictrove").string(), "", folder / "home"));
  }
  XCloseDisplay(display);
  std::filesystem::remove_all(folder);
  if (std::min(*std::min_element(program.begin(), program.end()),
               *std::min_element(reference.begin(), reference.end())) < 0) {
    std::fprintf(stderr, "startup_bench: a window never showed\n");
    return 1;
  }
  const double programMs = Median(program);
  const double referenceMs = Median(reference);
  std::printf("start to window shown, median of %d runs:\n", runs);
  std::printf("  zupictrove (skin decode, layouts, main window): %7.1f ms\n", programMs);
  std::printf("  minimal GTK window:                             %7.1f ms\n", referenceMs);
  std::printf("  ratio: %.2f\n", programMs / referenceMs);
  return 0;
}
