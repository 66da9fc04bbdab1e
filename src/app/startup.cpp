#include "app/startup.h"

#include <unistd.h>

#include <filesystem>

#include "catalogue/app_state.h"
#include "download/download_settings.h"
#include "platform/app_paths.h"
#include "platform/code_page.h"
#include "platform/executable_folder.h"
#include "platform/file_path.h"
#include "platform/file_read.h"
#include "platform/file_write.h"
#include "skin/skin_archive.h"
#include "ui/backend_folder_picker.h"
#include "ui/main_window.h"
#include "uilib/paint_manager.h"
#include "uilib/resources.h"

namespace {

constexpr UINT kMainStyle = 0x10CF0000;
constexpr UINT kMainExStyle = 0x00060000;
constexpr int kMainWidth = 600;
constexpr int kMainHeight = 580;

// Writes the skin file back whole with its marker byte. A file that cannot be opened for writing
// stays as it is; the new bytes replace the file in one step, so a full disk or a crash never
// leaves a cut-off skin file that would keep the program from starting.
void RewriteSkinFile(const std::wstring& path, std::string bytes) {
  bytes[1] = static_cast<char>(AppState::Instance()->m_marker);
  const std::filesystem::path file = FsPath(path);
  if (access(file.c_str(), W_OK) != 0) {
    return;
  }
  WriteFileAtomically(file, bytes);
}

}  // namespace

StartResult StartApplication(const std::wstring& exeFolder, StartedApplication* started) {
  CPaintManagerUI::SetInstance(nullptr);
  started->skinPath = exeFolder + L"skin.dll";
  std::error_code ec;
  if (!std::filesystem::exists(FsPath(started->skinPath), ec) && exeFolder == ExecutableFolder()) {
    // An installed program reads the skin file from its data folder, and never writes it back.
    started->skinPath = Utf8ToWide(SkinFile().string());
    started->writeSkinBack = false;
  }
  std::optional<std::string> file = ReadWholeFile(started->skinPath, kSkinMaxFileBytes);
  if (!file || file->empty()) {
    return StartResult::kNoSkin;
  }
  int32_t decodedLength = 0;
  std::optional<std::vector<uint8_t>> archive = DecodeSkinArchive(*file, &decodedLength);
  if (!archive || decodedLength <= 0) {
    return StartResult::kNoSkin;
  }
  CPaintManagerUI::SetResourcePath(exeFolder);
  started->archive = std::move(*archive);
  if (!CPaintManagerUI::SetResourceZip(started->archive.data(), started->archive.size())) {
    return StartResult::kNoSkin;
  }
  started->skinBytes = std::move(*file);
  DownloadSettings::SetFolderPicker(std::make_shared<BackendFolderPicker>());

  auto* window = new CZuPictrove;
  const HWND hwnd =
      window->Create(nullptr, L"DuRavuv", kMainStyle, kMainExStyle, 0, 0, kMainWidth, kMainHeight);
  if (hwnd == nullptr) {
    SkinResources::Clear();
    return StartResult::kNoWindow;
  }
  window->CenterWindow();
  window->ShowWindow(true, true);
  window->m_destroyOnClose = 1;
  started->mainWindow = hwnd;
  return StartResult::kStarted;
}

void FinishApplication(StartedApplication* started) {
  // The loop also ends with the system close command or a signal, which leave the window (and a
  // running worker) alone: the worker is stopped and waited for before anything goes.
  ShutDownMainWindow(started->mainWindow);
  if (started->writeSkinBack) {
    RewriteSkinFile(started->skinPath, std::move(started->skinBytes));
  }
  SkinResources::Clear();
  started->archive.clear();
  DownloadSettings::Destroy();
  DownloadSettings::SetFolderPicker(nullptr);
  AppState::Destroy();
}

int RunApplication(const std::wstring& exeFolder) {
  StartedApplication started;
  switch (StartApplication(exeFolder, &started)) {
    case StartResult::kNoSkin:
      return 0;
    case StartResult::kNoWindow:
      return -1;
    case StartResult::kStarted:
      break;
  }
  CPaintManagerUI::MessageLoop();
  FinishApplication(&started);
  return 0;
}
