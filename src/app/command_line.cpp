#include "app/command_line.h"

#include <cerrno>
#include <cstdlib>

namespace {

// A whole decimal number in [low, high], or nothing.
std::optional<long> NumberIn(const std::string& text, long low, long high) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  errno = 0;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (errno != 0 || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

std::vector<std::string> SplitIds(const std::string& text) {
  std::vector<std::string> ids;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = text.find(',', start);
    const std::string id = text.substr(start, end == std::string::npos ? end : end - start);
    if (!id.empty()) {
      ids.push_back(id);
    }
    if (end == std::string::npos) {
      break;
    }
    start = end + 1;
  }
  return ids;
}

}  // namespace

std::string UsageText() {
  return "usage: zupictrove                 the window\n"
         "       zupictrove --help | --version\n"
         "       zupictrove --backup UIN [--albums all|ID,...] [--out DIR] [--connections N]\n"
         "       zupictrove --verify [UIN] [--out DIR]\n"
         "       zupictrove --list UIN\n"
         "\n"
         "--backup downloads the normal albums of user UIN (all, or those whose ids are given)\n"
         "into DIR/UIN/<album name> (DIR: the download folder of the settings), N photos at\n"
         "once (1 to 8). Password albums are taken from the web cache when their page is there,\n"
         "and skipped otherwise. A backup is incremental: the download archive in DIR\n"
         "(.zupictrove-archive.sqlite3) records every saved photo, so a later run fetches only\n"
         "the photos that are new or whose file is gone, and nothing on disk is ever removed.\n"
         "Exit status: 0 every chosen album completed, 1 some did not, 2 bad arguments.\n"
         "\n"
         "--list prints the albums of user UIN, one a line: id, type (normal or password),\n"
         "photo count and name, separated by tabs; the ids are what --albums takes.\n"
         "\n"
         "--verify checks every photo the archive in DIR records (of user UIN only, when given)\n"
         "against its size and SHA-256, without the network, and prints each missing or changed\n"
         "file. Exit status: 0 all sound, 1 some are not (or there is no archive), 2 bad\n"
         "arguments.\n";
}

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& arguments,
                                            std::string* error) {
  CommandLine line;
  if (arguments.empty()) {
    return line;
  }
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
    line.action = CommandLine::Action::kHelp;
    return line;
  }
  if (arguments.size() == 1 && arguments[0] == "--version") {
    line.action = CommandLine::Action::kVersion;
    return line;
  }
  if (arguments[0] == "--list") {
    line.action = CommandLine::Action::kList;
    const std::optional<long> uin =
        arguments.size() == 2 ? NumberIn(arguments[1], 10000, 2147483647) : std::nullopt;
    if (!uin) {
      *error = arguments.size() == 2 ? "not a user number (10000 or more): " + arguments[1]
                                     : "--list takes one user number";
      return std::nullopt;
    }
    line.uin = static_cast<int32_t>(*uin);
    return line;
  }
  if (arguments[0] != "--backup" && arguments[0] != "--verify") {
    *error = "unknown argument: " + arguments[0];
    return std::nullopt;
  }
  size_t options = 1;
  if (arguments[0] == "--verify") {
    line.action = CommandLine::Action::kVerify;
    if (arguments.size() > 1 && !arguments[1].starts_with("--")) {
      const std::optional<long> uin = NumberIn(arguments[1], 10000, 2147483647);
      if (!uin) {
        *error = "not a user number (10000 or more): " + arguments[1];
        return std::nullopt;
      }
      line.uin = static_cast<int32_t>(*uin);
      options = 2;
    }
  } else {
    line.action = CommandLine::Action::kBackup;
    if (arguments.size() < 2) {
      *error = "--backup needs a user number";
      return std::nullopt;
    }
    const std::optional<long> uin = NumberIn(arguments[1], 10000, 2147483647);
    if (!uin) {
      *error = "not a user number (10000 or more): " + arguments[1];
      return std::nullopt;
    }
    line.uin = static_cast<int32_t>(*uin);
    options = 2;
  }
  for (size_t i = options; i < arguments.size(); i += 2) {
    const std::string& option = arguments[i];
    if (i + 1 >= arguments.size()) {
      *error = option + " needs a value";
      return std::nullopt;
    }
    const std::string& value = arguments[i + 1];
    const bool verifying = line.action == CommandLine::Action::kVerify;
    if (verifying && option != "--out") {
      *error = "unknown argument: " + option;
      return std::nullopt;
    }
    if (option == "--albums") {
      line.albumIds = value == "all" ? std::vector<std::string>{} : SplitIds(value);
      if (value != "all" && line.albumIds.empty()) {
        *error = "--albums needs all or album ids";
        return std::nullopt;
      }
    } else if (option == "--out") {
      if (value.empty()) {
        *error = "--out needs a folder";
        return std::nullopt;
      }
      line.outFolder = value;
    } else if (option == "--connections") {
      const std::optional<long> connections = NumberIn(value, 1, 8);
      if (!connections) {
        *error = "--connections takes 1 to 8";
        return std::nullopt;
      }
      line.connections = static_cast<int>(*connections);
    } else {
      *error = "unknown argument: " + option;
      return std::nullopt;
    }
  }
  return line;
}
