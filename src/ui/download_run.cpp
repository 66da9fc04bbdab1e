// The download run: one step per row, driven by the application messages.

#include <filesystem>
#include <system_error>

#include "catalogue/album_list_fetch.h"
#include "catalogue/app_messages.h"
#include "catalogue/app_state.h"
#include "catalogue/service_config.h"
#include "catalogue/web_cache.h"
#include "download/photo_files.h"
#include "platform/code_page.h"
#include "platform/file_path.h"
#include "platform/posted_messages.h"
#include "platform/url_download.h"
#include "skin/notices.h"
#include "skin/scrambled_text.h"
#include "ui/main_window.h"
#include "uilib/ui_backend.h"

namespace {

std::wstring AtMost(std::wstring text, size_t units) {
  if (text.size() > units) {
    text.resize(units);
  }
  return text;
}

}  // namespace

void CZuPictrove::StartNextAlbum() {
  AppState* state = AppState::Instance();
  const int32_t current = state->m_currentAlbum;
  if (m_albumList != nullptr && current == m_albumList->GetCount()) {
    ShowNotice(kNoticeRunFinished);
    if (m_btnDown != nullptr) {
      m_btnDown->SetText(kCaptionDownload);
    }
  }
  if (m_btnDown == nullptr || m_btnDown->GetText() != kCaptionStop) {
    return;
  }
  CAlbumListItemUI* row = Row(current);
  if (row == nullptr) {
    return;
  }
  if (row->m_optSelect == nullptr || !row->m_optSelect->IsSelected()) {
    ::PostMessage(m_hWnd, WM_ALBUM_DONE, m_runId, 0);
    return;
  }
  const std::wstring albumId = row->GetUserData();
  const int32_t uin = state->m_uin;
  if (!state->AlbumHasPassword(current)) {
    const std::string idForUrl = AlbumIdForUrl(WideToAnsi(albumId));
    StartPhotoListDownload(PhotoListUrl(state->m_photoHostLabel, uin, AnsiToWide(idForUrl)),
                           albumId);
    return;
  }
  m_pendingCachePattern = AlbumPagePattern(uin, albumId);
  const std::wstring prompt = AtMost(L"请输入《" + GetRowName(row) + L"》相册密码", 127);
  if (m_loginWnd != nullptr) {
    m_loginWnd->OpenForPasswordAlbum();
    if (m_loginWnd->m_lblTitle != nullptr) {
      m_loginWnd->m_lblTitle->SetText(prompt);
    }
  }
  state->m_loginOutcome = 2;
}

void CZuPictrove::StartPhotoListDownload(const std::wstring& url, const std::wstring& albumId) {
  EvictCachedUrl(url);
  std::error_code ec;
  const std::filesystem::path folder = FsPath(m_workFolder);
  if (!std::filesystem::exists(folder, ec)) {
    std::filesystem::create_directory(folder, ec);
  }
  const std::wstring file = m_workFolder + PhotoListFileName(WideToAnsi(albumId)) + L".xml";
  if (DownloadUrlToFile(url, file) != S_OK) {
    ::PostMessage(m_hWnd, WM_ALBUM_DONE, m_runId, 0);
    return;
  }
  const std::wstring name =
      AtMost(AnsiToWide(AppState::Instance()->AlbumName(AppState::Instance()->m_currentAlbum)),
             kNameMaxUnits);
  m_worker.m_albumFolderName = CleanFileName(name);
  if (!WideToAnsi(file, m_worker.m_listFile)) {
    m_worker.m_listFile.fill('\0');  // a path that does not fit names no file
  }
  m_worker.m_fromWebCache = 0;
  m_worker.m_runId = m_runId;
  m_worker.Start();
}

void CZuPictrove::ResumePasswordAlbum() {
  std::wstring found;
  FindCachedUrl(&found, m_pendingCachePattern);
  const std::wstring name =
      AtMost(AnsiToWide(AppState::Instance()->AlbumName(AppState::Instance()->m_currentAlbum)),
             kNameMaxUnits);
  m_worker.m_albumFolderName = CleanFileName(name);
  if (!WideToAnsi(found, m_worker.m_listFile)) {
    m_worker.m_listFile.fill('\0');
  }
  m_worker.m_fromWebCache = 1;
  m_worker.m_runId = m_runId;
  m_worker.Start();
}

void CZuPictrove::UpdateAlbumProgress(int32_t row, int32_t saved) {
  CAlbumListItemUI* item = Row(row);
  if (item != nullptr && item->m_lblStatus != nullptr) {
    item->m_lblStatus->SetText(std::to_wstring(saved));
  }
}

void CZuPictrove::ShowLoginForAlbumList() {
  const std::wstring page = UserPhotoPageUrl(AppState::Instance()->m_uin);
  AppState::Instance()->m_loginOutcome = 1;
  if (m_loginWnd == nullptr) {
    return;
  }
  if (m_loginWnd->m_webBrowser != nullptr) {
    m_loginWnd->m_webBrowser->Navigate(page);
  }
  if (m_loginWnd->m_lblTitle != nullptr) {
    m_loginWnd->m_lblTitle->SetText(kLoginPrompt);
  }
  m_loginWnd->CenterWindow();
  m_loginWnd->ShowWindow(true, true);
}

LRESULT CZuPictrove::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  switch (uMsg) {
    case WM_ALBUMS_RELOAD:
      bHandled = true;
      if (FetchAlbumList(m_workFolder)) {
        FillAlbumList();
      } else {
        ShowNotice(kNoticeReloadFailed);
      }
      return 1;
    case WM_PHOTO_SAVED:
      bHandled = true;
      UpdateAlbumProgress(static_cast<int32_t>(wParam), static_cast<int32_t>(lParam));
      return 1;
    case WM_ALBUM_DONE:
      bHandled = true;
      // The end of an album of an earlier run: its thread was joined before this run's first
      // worker started, and it must not move this run on.
      if (wParam != m_runId) {
        return 1;
      }
      m_worker.Wait();
      AppState::Instance()->m_currentAlbum += 1;
      StartNextAlbum();
      return 1;
    case WM_PASSWORD_RESUME:
      bHandled = true;
      ResumePasswordAlbum();
      return 1;
    default:
      bHandled = false;
      return 0;
  }
}
