#pragma once

// The one setting: the download root, kept in "config.ini" (beside the executable, or in the user's
// config folder for an installed program; see platform/app_paths.h), section "info",
// key "photo_dir", read and written with the INI rules of platform/ini_profile.h (names in any
// letter case; lines that fit no rule are skipped on reading and kept on writing). When none is
// stored, or the stored folder is gone, the default root <last fixed drive that answers>ZeDiRazuz
// is made and stored. When the file exists but cannot be read, that default is used without
// being stored, so the file, and the folder it may hold, is never replaced.
//
// The worker asks for the root at the start of every album and the main window may store a new one
// at any time, so reads and writes of the file are serialised; a write replaces the file
// atomically and changes only the one line.

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "download/drive_provider.h"
#include "platform/win_types.h"

// The folder of the default download root, made at the top of a drive.
constexpr std::wstring_view kDefaultRootFolder = L"ZeDiRazuz";
// Photos of an album downloaded at once unless config.ini says otherwise.
constexpr int kDefaultConnections = 4;
// Title of the folder picker.
constexpr std::wstring_view kFolderPickerTitle = L"请选择文件夹";

// The executable's folder, without a trailing separator.
std::wstring ExeFolder();

// A folder chooser of the UI: folders only, nothing preselected. The chosen folder, or nothing
// when the user cancels.
class FolderPicker {
 public:
  virtual ~FolderPicker() = default;
  virtual std::optional<std::wstring> PickFolder(HWND owner, const std::wstring& title) = 0;
};

class DownloadSettings {
 public:
  DownloadSettings(std::filesystem::path configFile, std::shared_ptr<DriveProvider> drives);

  // The object the program uses (config.ini beside the executable, the home drive), made on first
  // use; Destroy deletes it, SetInstance replaces it (tests).
  static DownloadSettings* Instance();
  // The same object, shared: a worker holds it for its album, so Destroy never frees it under it.
  static std::shared_ptr<DownloadSettings> Shared();
  static void Destroy();
  static void SetInstance(std::unique_ptr<DownloadSettings> settings);
  // The folder picker the UI offers; without one, picking is cancelled at once.
  static void SetFolderPicker(std::shared_ptr<FolderPicker> picker);

  std::wstring ReadPhotoDir() const;
  void WritePhotoDir(std::wstring_view folder) const;
  // How many photos of an album download at once: "connections" under [info], 1 to 8;
  // kDefaultConnections when it is missing or not a number in that range.
  int ReadConnections() const;
  // The root of the last fixed drive whose free-space query succeeds.
  bool FindDefaultDrive(std::wstring* root) const;
  // The stored folder when it exists; otherwise the default root, made and stored (not stored
  // when the file cannot be read); otherwise what is stored.
  std::wstring GetDownloadRoot() const;
  // Lets the user pick a folder; its path without a trailing separator ("/" stays "/"), or empty
  // text when cancelled.
  std::wstring BrowseForFolder(HWND owner) const;

  const std::filesystem::path& ConfigFile() const { return m_configFile; }

 private:
  std::filesystem::path m_configFile;
  std::shared_ptr<DriveProvider> m_drives;
  mutable std::mutex m_mutex;
};
