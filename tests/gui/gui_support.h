#pragma once

// Helpers of the GUI tests: running the GTK loop until something holds, and driving the X server
// with xdotool.

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// Starts GTK and makes the GTK back end the UI back end, with posted messages waking its loop;
// false when there is no display.
bool StartGtkBackend();
// Runs the GTK loop (and the posted messages) until `done` holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, int seconds);
// Starts xdotool with `arguments`; the loop keeps running while it works.
pid_t Xdotool(std::vector<std::string> arguments);
bool Finished(pid_t pid);
// Runs xdotool and pumps the loop until it is done.
bool XdotoolAndWait(std::vector<std::string> arguments, int seconds = 20);
