#include "download/download_settings.h"

#include <sys/stat.h>

#include <system_error>

#include "platform/app_paths.h"
#include "platform/code_page.h"
#include "platform/executable_folder.h"
#include "platform/file_path.h"
#include "platform/ini_profile.h"

namespace {

constexpr const char* kSection = "info";
constexpr const char* kKey = "photo_dir";

std::mutex g_instanceMutex;
std::shared_ptr<DownloadSettings> g_instance;
std::shared_ptr<FolderPicker> g_picker;

bool PathExists(const std::wstring& path) {
  struct stat info;
  return stat(FsPath(path).c_str(), &info) == 0;
}

}  // namespace

std::wstring ExeFolder() {
  std::wstring folder = ExecutableFolder();
  while (folder.size() > 1 && folder.back() == L'/') {
    folder.pop_back();
  }
  return folder;
}

DownloadSettings::DownloadSettings(std::filesystem::path configFile,
                                   std::shared_ptr<DriveProvider> drives)
    : m_configFile(std::move(configFile)), m_drives(std::move(drives)) {}

DownloadSettings* DownloadSettings::Instance() {
  return Shared().get();
}

std::shared_ptr<DownloadSettings> DownloadSettings::Shared() {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  if (!g_instance) {
    g_instance =
        std::make_shared<DownloadSettings>(SettingsFile(), std::make_shared<HomeDriveProvider>());
  }
  return g_instance;
}

void DownloadSettings::Destroy() {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  g_instance.reset();
}

void DownloadSettings::SetInstance(std::unique_ptr<DownloadSettings> settings) {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  g_instance = std::move(settings);
}

void DownloadSettings::SetFolderPicker(std::shared_ptr<FolderPicker> picker) {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  g_picker = std::move(picker);
}

std::wstring DownloadSettings::ReadPhotoDir() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return Utf8ToWide(ReadIniString(m_configFile, kSection, kKey).value);
}

int DownloadSettings::ReadConnections() const {
  std::string text;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    text = ReadIniString(m_configFile, kSection, "connections").value;
  }
  if (text.size() != 1 || text[0] < '1' || text[0] > '8') {
    return kDefaultConnections;
  }
  return text[0] - '0';
}

void DownloadSettings::WritePhotoDir(std::wstring_view folder) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  WriteIniString(m_configFile, kSection, kKey, WideToUtf8(folder));
}

bool DownloadSettings::FindDefaultDrive(std::wstring* root) const {
  root->clear();
  for (const std::wstring& candidate : m_drives->DriveRoots()) {
    if (m_drives->IsFixedDrive(candidate) && m_drives->QueryFreeSpace(candidate)) {
      *root = candidate;
    }
  }
  return !root->empty();
}

std::wstring DownloadSettings::GetDownloadRoot() const {
  IniLookup lookup;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    lookup = ReadIniString(m_configFile, kSection, kKey);
  }
  const std::wstring stored = Utf8ToWide(lookup.value);
  if (!stored.empty() && PathExists(stored)) {
    return stored;
  }
  std::wstring drive;
  if (!FindDefaultDrive(&drive)) {
    return stored;
  }
  const std::wstring folder = drive + std::wstring(kDefaultRootFolder);
  if (!PathExists(folder)) {
    std::error_code ec;
    std::filesystem::create_directory(FsPath(folder), ec);
  }
  // A file that could not be read may still hold the user's folder: it is left as it is.
  if (lookup.status != IniStatus::kUnreadable) {
    WritePhotoDir(folder);
  }
  return folder;
}

std::wstring DownloadSettings::BrowseForFolder(HWND owner) const {
  std::shared_ptr<FolderPicker> picker;
  {
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    picker = g_picker;
  }
  if (!picker) {
    return {};
  }
  std::optional<std::wstring> chosen = picker->PickFolder(owner, std::wstring(kFolderPickerTitle));
  if (!chosen) {
    return {};
  }
  std::wstring path = std::move(*chosen);
  if (path.size() > 1 && path.back() == L'/') {
    path.pop_back();
  }
  return path;
}
