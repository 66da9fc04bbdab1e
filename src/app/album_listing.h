#pragma once

// The command-line listing of a user's albums, read as the window reads them: one line per album
// (id, type, photo count, name, separated by tabs), so that a user can choose the ids --albums
// takes.

#include <atomic>
#include <cstdint>

#include "app/command_line.h"

// 0 when albums were listed; 1 when none could be read (it says why on standard error).
int RunList(const CommandLine& line, const std::atomic<uint8_t>& running);
