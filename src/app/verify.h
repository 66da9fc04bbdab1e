#pragma once

// The command-line check of a download root: every photo the download archive records (of one
// user, or of all) is looked at on disk, without any network: present, of the recorded size, with
// the recorded SHA-256. Each missing or changed file gets one line with its path.

#include "app/command_line.h"

// Exit status of a verify: all sound; some missing or changed (or no archive to check).
constexpr int kVerifySound = 0;
constexpr int kVerifyUnsound = 1;

int RunVerify(const CommandLine& line);
