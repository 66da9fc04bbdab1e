#pragma once

// The command-line backup: a user's albums to disk without a window, with the album lists, the
// download worker, the folder names and the web cache that the window uses.

#include <atomic>
#include <cstdint>

#include "app/command_line.h"

// Exit status of a backup: every chosen album completed, some did not, bad arguments.
constexpr int kBackupComplete = 0;
constexpr int kBackupIncomplete = 1;
constexpr int kBadArguments = 2;

// The download root a backup or a verify works in: --out (absolute, without a trailing '/'; made
// when missing if `make`) or the settings' download root; empty, with a message on standard error,
// when the --out folder cannot be made (or, without `make`, is not there).
std::wstring CommandLineRoot(const CommandLine& line, bool make);

// Runs the backup the command line asks for, printing a progress line per album (updated in
// place on a terminal). `running` going to 0 (Ctrl+C) stops it at once: the transfers in flight
// are abandoned and leave no file.
int RunBackup(const CommandLine& line, const std::atomic<uint8_t>& running);
