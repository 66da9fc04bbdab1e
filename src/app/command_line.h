#pragma once

// The program's command line.
//
//   zupictrove                      the window
//   zupictrove --help | --version
//   zupictrove --backup UIN [--albums all|ID,...] [--out DIR] [--connections N]
//   zupictrove --verify [UIN] [--out DIR]
//   zupictrove --list UIN
//
// A backup needs no display: it lists the user's albums as the window does and downloads the
// chosen ones into DIR/UIN/<album>, fetching only what the download archive does not have. A
// verify checks the recorded photos in DIR against the archive, without the network.

#include <optional>
#include <string>
#include <vector>

struct CommandLine {
  enum class Action { kWindow, kHelp, kVersion, kBackup, kVerify, kList };
  Action action = Action::kWindow;
  int32_t uin = 0;                    // --verify: 0 for every user
  std::vector<std::string> albumIds;  // empty: all albums
  std::string outFolder;              // empty: the download root of the settings
  int connections = 0;                // 0: as the settings say
};

// The parsed command line, or nothing (and `error` says why) when it is not one.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& arguments,
                                            std::string* error);

// The text of --help.
std::string UsageText();
