#pragma once

// The program's command line.
//
//   zupictrove                      the window
//   zupictrove --help | --version
//   zupictrove --backup UIN [--albums all|ID,...] [--out DIR] [--connections N]
//
// A backup needs no display: it lists the user's albums as the window does and downloads the
// chosen ones into DIR/UIN/<album>.

#include <optional>
#include <string>
#include <vector>

struct CommandLine {
  enum class Action { kWindow, kHelp, kVersion, kBackup };
  Action action = Action::kWindow;
  int32_t uin = 0;
  std::vector<std::string> albumIds;  // empty: all albums
  std::string outFolder;              // empty: the download root of the settings
  int connections = 0;                // 0: as the settings say
};

// The parsed command line, or nothing (and `error` says why) when it is not one.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& arguments,
                                            std::string* error);

// The text of --help.
std::string UsageText();
