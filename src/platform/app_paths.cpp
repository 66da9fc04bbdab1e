#include "platform/app_paths.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <system_error>

#include "platform/code_page.h"
#include "platform/executable_folder.h"
#include "platform/url_download.h"

namespace {

constexpr const char* kProgram = "zupictrove";

std::filesystem::path ExecutableFolderPath() {
  return std::filesystem::path(WideToUtf8(ExecutableFolder()));
}

// $<variable> when it is an absolute path, else ~/<fallback>.
std::filesystem::path XdgFolder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') {
    return value;
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : "/tmp") / fallback;
}

}  // namespace

std::filesystem::path UserConfigFolder() {
  return XdgFolder("XDG_CONFIG_HOME", ".config") / kProgram;
}

std::filesystem::path UserCacheFolder() {
  return XdgFolder("XDG_CACHE_HOME", ".cache") / kProgram;
}

std::filesystem::path InstalledDataFolder() {
  return (ExecutableFolderPath() / ".." / "share" / kProgram).lexically_normal();
}

bool ExecutableFolderWritable() {
  return access(ExecutableFolderPath().c_str(), W_OK) == 0;
}

std::filesystem::path SettingsFile() {
  if (ExecutableFolderWritable()) {
    return ExecutableFolderPath() / "config.ini";
  }
  std::error_code ec;
  std::filesystem::create_directories(UserConfigFolder(), ec);
  return UserConfigFolder() / "config.ini";
}

std::filesystem::path WorkFolder() {
  const std::filesystem::path folder =
      ExecutableFolderWritable() ? ExecutableFolderPath() / "Res" : UserCacheFolder() / "work";
  std::error_code ec;
  std::filesystem::create_directories(folder.parent_path(), ec);
  return folder / "";
}

void EnsureWorkFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  // A list download ends within seconds; an hour-old part file's download was killed.
  constexpr auto kStale = std::chrono::hours(1);
  const auto now = std::filesystem::file_time_type::clock::now();
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    std::error_code entryError;
    if (name.starts_with(kPartFilePrefix) && name.ends_with(kPartFileSuffix) &&
        entry.is_regular_file(entryError) && now - entry.last_write_time(entryError) > kStale &&
        !entryError) {
      std::filesystem::remove(entry.path(), entryError);
    }
  }
}

std::wstring OwnListSuffix() {
  return L"-p" + std::to_wstring(getpid());
}

std::filesystem::path SkinFile() {
  const std::filesystem::path beside = ExecutableFolderPath() / "skin.dll";
  std::error_code ec;
  if (std::filesystem::exists(beside, ec)) {
    return beside;
  }
  const std::filesystem::path installed = InstalledDataFolder() / "skin.dll";
  return std::filesystem::exists(installed, ec) ? installed : beside;
}

std::vector<std::filesystem::path> ServiceConfigCandidates() {
  return {ExecutableFolderPath() / "service.ini", UserConfigFolder() / "service.ini",
          std::filesystem::path("/etc") / kProgram / "service.ini",
          InstalledDataFolder() / "service.ini"};
}
