#include "app/app_harness.h"

#include <gtest/gtest.h>

#include "catalogue/app_state.h"
#include "catalogue/service_config.h"
#include "download/download_archive.h"
#include "download/download_settings.h"
#include "platform/code_page.h"
#include "platform/posted_messages.h"
#include "platform/url_cache.h"
#include "platform/url_download.h"
#include "skin/scrambled_text.h"
#include "support/artifacts.h"
#include "support/temporary_settings.h"
#include "ui/backend_folder_picker.h"
#include "uilib/paint_manager.h"
#include "uilib/resources.h"

AppHarness::AppHarness() {
  SetProcessCodePage("UTF-8");
  m_backend = HeadlessBackend::Install();
  AllowDownloads();
  SkinResources::SetFolder(ZP_SKIN_FOLDER);
  UrlCache::SetDefaultRoot(m_dir.Path() / "cache");
  m_root = UseTemporarySettings(m_dir.Path());
  DownloadSettings::SetFolderPicker(std::make_shared<BackendFolderPicker>());
  SetService(m_service.Config());

  OpenWindow();
}

void AppHarness::OpenWindow() {
  m_window = new CZuPictrove;
  EXPECT_NE(m_window->Create(nullptr, L"DuRavuv", 0x10CF0000, 0x00060000, 0, 0, 600, 580), nullptr);
  m_hwnd = m_window->GetHWND();
  m_window->SetWorkFolder(Utf8ToWide((m_dir.Path() / "Res").string()) + L"/");
  m_window->ShowWindow(true, true);
  m_window->m_destroyOnClose = 1;
}

void AppHarness::Reopen() {
  ShutDownMainWindow(m_hwnd);  // a no-op when the window is gone already
  TakePostedMessages();
  AllowDownloads();
  UseTemporarySettings(m_dir.Path());
  OpenWindow();
}

bool AppHarness::WindowAlive() const {
  return WindowFromHandle(m_hwnd) != nullptr;
}

void AppHarness::Pump() {
  while (WaitForPostedMessage(std::chrono::milliseconds(0))) {
    Timed([] { CPaintManagerUI::DispatchPostedMessages(); });
  }
}

AppHarness::~AppHarness() {
  ShutDownMainWindow(m_hwnd);
  DownloadSettings::Destroy();
  DownloadSettings::SetFolderPicker(nullptr);
  AppState::Destroy();
  SkinResources::Clear();
  SetUiBackend(nullptr);
  SetProcessCodePage("");
}

void AppHarness::CacheAlbumPage(int32_t uin, const FixtureAlbum& album) {
  std::string page = "_Callback({\"data\":{\"pic\":[";
  for (int i = 0; i < album.photos; ++i) {
    page += "{\"name\": \"secret" + std::to_string(i) + "\", \"origin_url\": \"" +
            m_service.ImageUrl(album.photoBytes, "s" + std::to_string(i), album.photoFault) +
            "\",},";
  }
  UrlCache::Default().Store("http://" + m_service.Service().Host("user") +
                                "/cgi-bin/cgi_view_album?uin=" + std::to_string(uin) +
                                "&albumid=" + album.id + "&t=1",
                            page + "]}});");
}

CControlUI* AppHarness::Control(const wchar_t* name) const {
  return m_window->m_paintManager.FindControl(name);
}

void AppHarness::Timed(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  m_longestBlock = std::max(m_longestBlock, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now() - start));
}

void AppHarness::Click(CControlUI* control) {
  m_window->m_paintManager.UpdateLayout();
  const CRect& rect = control->GetPos();
  Timed([&] {
    m_backend->Click(control->GetManager()->GetPaintWindow(),
                     {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
  });
}

void AppHarness::Click(const wchar_t* name) {
  Click(Control(name));
}

void AppHarness::TypeUin(const std::wstring& text) {
  Control(L"edit_zu")->SetText(text);
}

void AppHarness::ListAlbums(int32_t uin) {
  TypeUin(std::to_wstring(uin));
  Click(L"btn_get");
  WaitForAlbumList();
}

bool AppHarness::WaitForAlbumList() {
  return RunUntil([this] { return !WindowAlive() || !m_window->FetchInProgress(); });
}

bool AppHarness::StartRunUntilLoginOpens() {
  HeadlessWebBrowser* browser = Browser();
  if (browser == nullptr) {
    return false;
  }
  const size_t loaded = browser->navigations.size();
  Click(L"btn_down");
  return RunUntil([&] { return browser->navigations.size() > loaded; });
}

bool AppHarness::StartRunUntilLoginShows() {
  if (!StartRunUntilLoginOpens()) {
    return false;
  }
  m_backend->AdvanceClock(kLoginTimerMs);
  return LoginVisible();
}

void AppHarness::Screenshot(const std::string& name) const {
  m_backend->SavePng(m_hwnd, ArtifactPath(name).string());
}

bool AppHarness::RunUntil(const std::function<bool()>& done, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  Pump();
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    WaitForPostedMessage(std::chrono::milliseconds(100));
    Pump();
  }
  return true;
}

bool AppHarness::RunIsOver() const {
  return Control(L"btn_down")->GetText() == kCaptionDownload;
}

std::vector<std::wstring> AppHarness::Notices() const {
  std::vector<std::wstring> texts;
  for (const HeadlessMessageBox& box : m_backend->messageBoxes) {
    EXPECT_EQ(box.caption, L"提示");
    texts.push_back(box.text);
  }
  return texts;
}

std::filesystem::path AppHarness::AlbumFolder(int32_t uin, const std::string& name) const {
  return m_root / std::to_string(uin) / name;
}

CAlbumListItemUI* AppHarness::Row(int index) const {
  return dynamic_cast<CAlbumListItemUI*>(m_window->AlbumList()->GetItemAt(index));
}

HeadlessWebBrowser* AppHarness::Browser() const {
  return m_backend->browsers.empty() ? nullptr : m_backend->browsers.front();
}

CControlUI* AppHarness::LoginControl(const wchar_t* name) const {
  return Login()->m_paintManager.FindControl(name);
}

bool AppHarness::LoginVisible() const {
  return Login() != nullptr && m_backend->IsNativeWindowVisible(Login()->GetHWND());
}

std::vector<std::string> AppHarness::HiddenFiles(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    if (entry.path().filename().string().starts_with(".")) {
      names.push_back(entry.path().filename().string());
    }
  }
  return names;
}

std::vector<std::string> AppHarness::StrayFiles(int32_t uin, const std::string& albumId,
                                                const std::string& name) const {
  std::vector<std::string> stray = HiddenFiles(AlbumFolder(uin, name));
  std::string error;
  if (const auto archive = DownloadArchive::Open(m_root, &error)) {
    for (const PartRecord& part : archive->Parts(uin, albumId)) {
      std::erase(stray, WideToUtf8(part.partName));
    }
  }
  return stray;
}

std::map<std::string, uintmax_t> AppHarness::AlbumFiles(int32_t uin,
                                                        const std::string& name) const {
  std::map<std::string, uintmax_t> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(AlbumFolder(uin, name), ec)) {
    files[entry.path().filename().string()] = entry.is_regular_file() ? entry.file_size() : 0;
  }
  return files;
}
