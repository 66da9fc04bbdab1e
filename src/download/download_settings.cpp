#include "download/download_settings.h"

#include <glib.h>
#include <sys/stat.h>

#include <system_error>

#include "platform/code_page.h"
#include "platform/executable_folder.h"
#include "platform/file_path.h"

namespace {

constexpr const char* kSection = "info";
constexpr const char* kKey = "photo_dir";

std::mutex g_instanceMutex;
std::unique_ptr<DownloadSettings> g_instance;
std::shared_ptr<FolderPicker> g_picker;

// Loads the INI file into `file`. Lines that begin with ';' are comments in INI files but errors
// to GKeyFile, which would then read nothing at all: they are read (and written back) as '#'
// comments.
bool LoadIni(GKeyFile* file, const std::filesystem::path& path, GKeyFileFlags flags) {
  gchar* contents = nullptr;
  gsize length = 0;
  if (!g_file_get_contents(path.c_str(), &contents, &length, nullptr)) {
    return false;
  }
  std::string text(contents, length);
  g_free(contents);
  bool lineStart = true;
  for (char& c : text) {
    if (lineStart && c == ';') {
      c = '#';
    }
    if (c == '\n') {
      lineStart = true;
    } else if (c != ' ' && c != '\t') {
      lineStart = false;
    }
  }
  return g_key_file_load_from_data(file, text.data(), text.size(), flags, nullptr);
}

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
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  if (!g_instance) {
    g_instance = std::make_unique<DownloadSettings>(FsPath(ExeFolder() + L"/config.ini"),
                                                    std::make_shared<HomeDriveProvider>());
  }
  return g_instance.get();
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
  GKeyFile* file = g_key_file_new();
  std::wstring value;
  if (LoadIni(file, m_configFile, G_KEY_FILE_NONE)) {
    gchar* text = g_key_file_get_string(file, kSection, kKey, nullptr);
    if (text != nullptr) {
      value = Utf8ToWide(text);
      g_free(text);
    }
  }
  g_key_file_free(file);
  return value;
}

void DownloadSettings::WritePhotoDir(std::wstring_view folder) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  GKeyFile* file = g_key_file_new();
  // Whatever else the file holds, comments included, is written back as it was.
  LoadIni(file, m_configFile,
          static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS));
  g_key_file_set_string(file, kSection, kKey, WideToUtf8(folder).c_str());
  g_key_file_save_to_file(file, m_configFile.c_str(), nullptr);
  g_key_file_free(file);
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
  const std::wstring stored = ReadPhotoDir();
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
  WritePhotoDir(folder);
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
