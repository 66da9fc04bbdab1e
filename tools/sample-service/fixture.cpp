#include "fixture.h"

#include <fstream>
#include <iterator>

namespace {

bool IsSafeName(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.find('\0') != std::string::npos) {
    return false;
  }
  for (const auto& part : std::filesystem::path(name)) {
    if (part == ".." || part == ".") {
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<std::filesystem::path> Fixture::PathOf(const std::string& hostLabel,
                                                     const std::string& file) const {
  if (!IsSafeName(hostLabel) || hostLabel.find('/') != std::string::npos || !IsSafeName(file)) {
    return std::nullopt;
  }
  return m_root / hostLabel / file;
}

std::optional<std::string> Fixture::Read(const std::string& hostLabel,
                                         const std::string& file) const {
  const auto path = PathOf(hostLabel, file);
  if (!path || !std::filesystem::is_regular_file(*path)) {
    return std::nullopt;
  }
  std::ifstream in(*path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Fault Fixture::FaultOf(const std::string& hostLabel, const std::string& file) const {
  const auto word = Read(hostLabel, file + ".fault");
  if (!word) {
    return Fault::kNone;
  }
  return FaultNamed(word->substr(0, word->find_first_of(" \t\r\n")));
}

Fault FaultNamed(const std::string& word) {
  if (word == "status500") {
    return Fault::kStatus500;
  }
  if (word == "reset") {
    return Fault::kReset;
  }
  if (word == "truncate") {
    return Fault::kTruncate;
  }
  if (word == "stall") {
    return Fault::kStall;
  }
  if (word == "slow") {
    return Fault::kSlow;
  }
  if (word == "trickle") {
    return Fault::kTrickle;
  }
  if (word == "undeclared") {
    return Fault::kUndeclared;
  }
  if (word == "busy") {
    return Fault::kBusyOnce;
  }
  if (word == "drop") {
    return Fault::kDropOnce;
  }
  if (word == "late") {
    return Fault::kLate;
  }
  if (word == "breakonce") {
    return Fault::kBreakOnce;
  }
  if (word == "changing") {
    return Fault::kChanging;
  }
  return Fault::kNone;
}

std::string HostLabel(const std::string& host) {
  return host.substr(0, host.find_first_of(".:"));
}

std::string FixtureNameOfId(const std::string& id) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string name;
  for (unsigned char c : id) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
        c == '-') {
      name += static_cast<char>(c);
    } else {
      name += {'%', kDigits[c >> 4], kDigits[c & 0x0F]};
    }
  }
  return name;
}
