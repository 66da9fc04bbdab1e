// The download run: one step per row, driven by the application messages.

#include <filesystem>
#include <system_error>

#include "catalogue/album_list_fetch.h"
#include "catalogue/app_messages.h"
#include "catalogue/app_state.h"
#include "catalogue/service_config.h"
#include "catalogue/web_cache.h"
#include "download/download_settings.h"
#include "download/photo_files.h"
#include "platform/code_page.h"
#include "platform/file_path.h"
#include "platform/posted_messages.h"
#include "platform/text_helpers.h"
#include "platform/url_download.h"
#include "platform/xml_file.h"
#include "skin/notices.h"
#include "skin/scrambled_text.h"
#include "ui/main_window.h"
#include "uilib/ui_backend.h"

std::wstring OutcomeRemark(AlbumOutcome outcome, int32_t failed) {
  switch (outcome) {
    case AlbumOutcome::kSkipped:
      return {};
    case AlbumOutcome::kCompleted:
      return L"完成";
    case AlbumOutcome::kSomeFailed:
      return L"部分失败 (" + std::to_wstring(failed) + L" 张)";
    case AlbumOutcome::kListFailed:
      return L"列表失败";
    case AlbumOutcome::kPageNotFound:
      return L"未找到页面";
    case AlbumOutcome::kStopped:
      return L"已停止";
    case AlbumOutcome::kInUse:
      return L"正在别处下载";
    case AlbumOutcome::kArchiveFailed:
      return L"下载记录无法写入";
  }
  return {};
}

bool CZuPictrove::RunInProgress() const {
  return m_btnDown != nullptr && m_btnDown->GetText() == kCaptionStop;
}

void CZuPictrove::SetRemark(int32_t row, const std::wstring& text) {
  CAlbumListItemUI* item = Row(row);
  if (item != nullptr && item->m_lblRemark != nullptr) {
    item->m_lblRemark->SetText(text);
  }
}

void CZuPictrove::RecordOutcome(int32_t row, AlbumOutcome outcome, int32_t failed) {
  m_albumInProgress = false;
  if (outcome == AlbumOutcome::kSkipped) {
    return;
  }
  SetRemark(row, OutcomeRemark(outcome, failed));
  if (outcome == AlbumOutcome::kCompleted) {
    ++m_runCompleted;
  } else {
    ++m_runNotCompleted;
  }
}

void CZuPictrove::ClearTickedRows() {
  const int count = m_albumList != nullptr ? m_albumList->GetCount() : 0;
  for (int i = 0; i < count; ++i) {
    CAlbumListItemUI* row = Row(i);
    if (row != nullptr && row->m_optSelect != nullptr && row->m_optSelect->IsSelected()) {
      SetRemark(i, L"");
      if (row->m_lblStatus != nullptr) {
        row->m_lblStatus->SetText(kNoProgress);
      }
    }
  }
}

const AlbumRecord* CZuPictrove::CurrentAlbum() const {
  AppState* state = AppState::Instance();
  for (const AlbumRecord* album : state->CopyAlbums()) {
    if (album->m_index == state->m_currentAlbum) {
      return album;
    }
  }
  return nullptr;
}

void CZuPictrove::PostAlbumDone(AlbumOutcome outcome) {
  ::PostMessage(m_hWnd, WM_ALBUM_DONE, RunParam(m_runId, AppState::Instance()->m_currentAlbum),
                OutcomeParam(outcome, 0));
}

void CZuPictrove::StartNextAlbum() {
  AppState* state = AppState::Instance();
  const int32_t current = state->m_currentAlbum;
  if (m_albumList != nullptr && current == m_albumList->GetCount() && RunInProgress()) {
    // The run is over before the notice shows, so nothing that arrives meanwhile acts on it.
    m_btnDown->SetText(kCaptionDownload);
    ShowNotice(FormatCounts(UnscrambleText(kNoticeRunFinished, kScrambleSeed), m_runCompleted,
                            m_runNotCompleted));
  }
  if (!RunInProgress()) {
    return;
  }
  CAlbumListItemUI* row = Row(current);
  if (row == nullptr) {
    return;
  }
  if (row->m_optSelect == nullptr || !row->m_optSelect->IsSelected()) {
    PostAlbumDone(AlbumOutcome::kSkipped);
    return;
  }
  SetRemark(current, L"");
  const AlbumRecord* album = CurrentAlbum();
  if (album == nullptr) {
    PostAlbumDone(AlbumOutcome::kListFailed);
    return;
  }
  m_albumInProgress = true;
  const std::wstring albumId = row->GetUserData();
  const int32_t uin = state->m_uin;
  if (!state->AlbumHasPassword(current)) {
    // The worker downloads the list itself, so no network wait runs on the UI thread.
    m_worker.StartAlbum(
        ListedAlbumJob(*album, uin, state->m_photoHostLabel, m_workFolder, m_runId));
    return;
  }
  m_pendingCachePattern = AlbumPagePattern(uin, albumId);
  const std::wstring prompt = AtMost(L"请输入《" + GetRowName(row) + L"》相册密码", 127);
  if (m_loginWnd == nullptr) {
    PostAlbumDone(AlbumOutcome::kPageNotFound);
    return;
  }
  m_signInTicket = 0;  // the one login window now asks for the album's password
  m_passwordTicket = ++m_loginTickets;
  m_loginWnd->OpenForPasswordAlbum(m_passwordTicket);
  m_loginWnd->SetTitle(prompt);
  state->m_loginOutcome = 2;
}

void CZuPictrove::ResumePasswordAlbum(uint32_t ticket) {
  // Only the answer to the login this run is waiting for; a given-up login does nothing.
  if (ticket == 0 || ticket != m_passwordTicket || !RunInProgress()) {
    return;
  }
  m_passwordTicket = 0;
  std::wstring found;
  FindCachedUrl(&found, m_pendingCachePattern);
  if (found.empty()) {
    PostAlbumDone(AlbumOutcome::kPageNotFound);
    return;
  }
  const AlbumRecord* album = CurrentAlbum();
  if (album == nullptr) {
    PostAlbumDone(AlbumOutcome::kPageNotFound);
    return;
  }
  m_worker.StartAlbum(CachedAlbumJob(*album, AppState::Instance()->m_uin, found, m_runId));
}

void CZuPictrove::UpdateAlbumProgress(int32_t row, int32_t saved) {
  CAlbumListItemUI* item = Row(row);
  if (item != nullptr && item->m_lblStatus != nullptr) {
    item->m_lblStatus->SetText(std::to_wstring(saved));
  }
}

void CZuPictrove::ShowLoginForAlbumList() {
  if (m_loginWnd == nullptr) {
    AppState::Instance()->m_loginOutcome = 1;
    return;
  }
  m_loginWnd->CancelPending();  // a password album's login must not go on into the sign-in page
  m_passwordTicket = 0;
  m_signInTicket = ++m_loginTickets;
  AppState::Instance()->m_loginOutcome = 1;
  m_loginWnd->OpenForSignIn(m_signInTicket);
  m_loginWnd->SetTitle(kLoginPrompt);
  m_loginWnd->CenterWindow();
  m_loginWnd->ShowWindow(true, true);
}

void CZuPictrove::StartAlbumListFetch(bool reload) {
  AbandonAlbumListFetch();
  auto fetch = std::make_unique<AlbumListFetch>();
  fetch->reload = reload;
  const uint32_t number = ++m_fetchNumber;
  const int32_t uin = AppState::Instance()->m_uin;
  AlbumListFetch* raw = fetch.get();
  const HWND hwnd = m_hWnd;
  const std::wstring workFolder = m_workFolder;
  fetch->thread = std::thread([raw, hwnd, workFolder, uin, number] {
    raw->result = ReadAlbumList(workFolder, uin, &raw->running);
    ::PostMessage(hwnd, WM_ALBUMS_FETCHED, number, uin);
  });
  m_fetch = std::move(fetch);
  if (m_btnGet != nullptr) {
    m_btnGetCaption = m_btnGet->GetText();
    m_btnGet->SetText(kCaptionFetching);
  }
}

void CZuPictrove::AbandonAlbumListFetch() {
  if (!m_fetch) {
    return;
  }
  m_fetch.reset();  // stops and joins it
  if (m_btnGet != nullptr) {
    m_btnGet->SetText(m_btnGetCaption);
  }
}

void CZuPictrove::OnAlbumListFetched(uint32_t number, int32_t uin) {
  if (!m_fetch || number != m_fetchNumber) {
    return;  // a read that was abandoned
  }
  std::unique_ptr<AlbumListFetch> fetch = std::move(m_fetch);
  fetch->thread.join();  // it has posted its last word
  if (m_btnGet != nullptr) {
    m_btnGet->SetText(m_btnGetCaption);
  }
  if (uin != AppState::Instance()->m_uin) {
    return;  // the list of a number no longer asked for
  }
  const bool unreachable = fetch->result.unreachable;
  const bool found = InstallAlbumList(std::move(fetch->result));
  // The rows are always the list just read, or none: never another number's.
  m_listUin = found ? uin : 0;
  FillAlbumList();
  if (found) {
    return;
  }
  if (unreachable) {
    ShowNotice(kNoticeUnreachable);  // the network, not signing in, is what fails
  } else if (fetch->reload) {
    ShowNotice(kNoticeReloadFailed);  // no further login is offered
  } else {
    ShowLoginForAlbumList();
  }
}

void CZuPictrove::EndRun() {
  m_worker.Stop();
  // The stop aborts the transfer in flight, so the worker ends within a few milliseconds: once the
  // click returns, the stopped album's folder is as it will stay. The wait is bounded.
  m_worker.Wait();
  if (m_passwordTicket != 0 && m_loginWnd != nullptr) {
    m_loginWnd->CancelPending();
  }
  m_passwordTicket = 0;
  if (!RunInProgress()) {
    return;
  }
  if (m_albumInProgress) {
    SetRemark(AppState::Instance()->m_currentAlbum, OutcomeRemark(AlbumOutcome::kStopped, 0));
  }
  m_albumInProgress = false;
  ++m_runId;
  m_btnDown->SetText(kCaptionDownload);
}

LRESULT CZuPictrove::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  switch (uMsg) {
    case WM_ALBUMS_RELOAD:
      bHandled = true;
      if (wParam == 0 || wParam != m_signInTicket) {
        return 1;  // the answer to a sign-in that was given up
      }
      m_signInTicket = 0;
      EndRun();  // the rows are about to change under the run
      StartAlbumListFetch(true);
      return 1;
    case WM_ALBUMS_FETCHED:
      bHandled = true;
      OnAlbumListFetched(static_cast<uint32_t>(wParam), static_cast<int32_t>(lParam));
      return 1;
    case WM_PHOTO_SAVED:
      bHandled = true;
      if (RunOfParam(wParam) == m_runId && RunInProgress()) {
        UpdateAlbumProgress(RowOfParam(wParam), static_cast<int32_t>(lParam));
      }
      return 1;
    case WM_ALBUM_DONE:
      bHandled = true;
      if (RunOfParam(wParam) != m_runId || !RunInProgress()) {
        // The end of an album of a run that was stopped: it moves nothing on, but the next job
        // may have been waiting for that worker to end.
        m_worker.ResumeWaitingJob();
        return 1;
      }
      m_worker.Wait();
      RecordOutcome(RowOfParam(wParam), OutcomeOfParam(lParam), FailedOfParam(lParam));
      AppState::Instance()->m_currentAlbum += 1;
      StartNextAlbum();
      return 1;
    case WM_PASSWORD_RESUME:
      bHandled = true;
      ResumePasswordAlbum(static_cast<uint32_t>(wParam));
      return 1;
    default:
      bHandled = false;
      return 0;
  }
}
