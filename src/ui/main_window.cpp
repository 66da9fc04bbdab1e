#include "ui/main_window.h"

#include "catalogue/app_state.h"
#include "download/download_settings.h"
#include "platform/app_paths.h"
#include "platform/code_page.h"
#include "platform/url_download.h"
#include "skin/scrambled_text.h"
#include "uilib/dialog_builder.h"
#include "uilib/ui_backend.h"

namespace {

constexpr UINT kLoginStyle = 0x96C80000;

}  // namespace

std::wstring CZuPictrove::GetWindowClassName() const {
  return L"ZuPictrove";
}

LRESULT CZuPictrove::OnCreate(UINT, WPARAM, LPARAM, bool& bHandled) {
  return CreateFromLayout(L"skin.xml", nullptr, bHandled);
}

void CZuPictrove::InitWindow() {
  CDialogWnd::InitWindow();
  AppState::Instance();
  m_btnMin = m_paintManager.FindControl(L"minbtn");
  m_btnClose = m_paintManager.FindControl(L"closebtn");
  m_btnGet = m_paintManager.FindControl(L"btn_get");
  m_btnDown = m_paintManager.FindControl(L"btn_down");
  m_btnBrowse = m_paintManager.FindControl(L"btn_brow");
  m_btnAlbumAd = m_paintManager.FindControl(L"btn_album_ad");
  m_btnKelAd = m_paintManager.FindControl(L"btn_kel_ad");
  m_optSelectAll = dynamic_cast<COptionUI*>(m_paintManager.FindControl(L"opt_select_all"));
  m_optSelectPwdAlbum =
      dynamic_cast<COptionUI*>(m_paintManager.FindControl(L"opt_select_pwd_album"));
  m_editAlbumDir = m_paintManager.FindControl(L"edit_album_dir");
  m_editUin = m_paintManager.FindControl(L"edit_zu");
  m_lblUinHint = m_paintManager.FindControl(L"lbl_uin_hint");
  m_albumList = dynamic_cast<CListUI*>(m_paintManager.FindControl(L"album_list"));
  m_worker.SetNotifyWindow(m_hWnd);
  m_workFolder = Utf8ToWide(WorkFolder().string());
  DownloadSettings* settings = DownloadSettings::Instance();
  if (m_editAlbumDir != nullptr) {
    m_editAlbumDir->SetText(settings->GetDownloadRoot());
  }
  m_loginWnd = new CDuRavuvLogin;
  if (m_loginWnd->Create(m_hWnd, L"", kLoginStyle, 0, 0, 0, 0, 0) == nullptr) {
    m_loginWnd = nullptr;  // the window deleted itself
    return;
  }
  m_loginWnd->CenterWindow();
  m_loginWnd->ShowWindow(false, false);
  m_loginWnd->SetMainWindow(m_hWnd);
}

void CZuPictrove::FillAlbumList() {
  if (m_albumList == nullptr) {
    return;
  }
  m_albumList->RemoveAll();
  int n = 0;
  for (const AlbumRecord* record : AppState::Instance()->CopyAlbums()) {
    CAlbumListItemUI* row = CreateAlbumRow(&m_paintManager);
    if (row == nullptr) {
      continue;
    }
    ++n;
    FindRowControls(row);
    if (row->m_lblIndex != nullptr) {
      row->m_lblIndex->SetText(std::to_wstring(n));
    }
    if (row->m_lblCount != nullptr) {
      row->m_lblCount->SetText(std::to_wstring(record->m_photoCount));
    }
    SetRowName(row, record->m_name);
    if (row->m_lblType != nullptr) {
      row->m_lblType->SetText(record->m_hasPassword != 0 ? L"加密" : L"普通");
    }
    row->SetUserData(AnsiToWide(record->m_albumId));
    m_albumList->Add(row);
  }
  SyncTickOptions();  // a new list: nothing is ticked
}

void CZuPictrove::ShowNotice(const std::wstring& text) {
  if (UiBackend() != nullptr) {
    UiBackend()->ShowMessageBox(m_hWnd, text, kNoticeCaption, MB_OK);
  }
}

void CZuPictrove::ShowNotice(const wchar_t* scrambled) {
  ShowNotice(UnscrambleText(scrambled, kScrambleSeed));
}

CAlbumListItemUI* CZuPictrove::Row(int32_t index) const {
  if (m_albumList == nullptr) {
    return nullptr;
  }
  return dynamic_cast<CAlbumListItemUI*>(m_albumList->GetItemAt(index));
}

void CZuPictrove::OnCloseCommand() {
  if (m_destroyOnClose != 0) {
    PrepareForExit();
    Close(1);
  } else {
    EndRun();
    ShowWindow(false, false);
  }
}

void CZuPictrove::PrepareForExit() {
  EndRun();
  AbandonAlbumListFetch();
  // Every transfer ends now and no new one starts: the program is ending.
  AbandonDownloads();
  m_worker.Wait();  // bounded; the worker's own destructor joins a thread still ending
  if (m_loginWnd != nullptr) {
    m_loginWnd->CancelPending();
    m_loginWnd->DestroyWindow();
    m_loginWnd = nullptr;
  }
  m_signInTicket = 0;
  // The worker keeps its own reference to the settings while it ends.
  DownloadSettings::Destroy();
}

void ShutDownMainWindow(HWND hwnd) {
  auto* window = dynamic_cast<CZuPictrove*>(WindowFromHandle(hwnd));
  if (window == nullptr) {
    return;
  }
  window->PrepareForExit();
  window->DestroyWindow();
}
