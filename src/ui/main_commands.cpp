// The main window's commands: what each button and option does.

#include <climits>

#include "catalogue/album_list_fetch.h"
#include "catalogue/app_state.h"
#include "catalogue/service_config.h"
#include "download/download_settings.h"
#include "platform/text_helpers.h"
#include "skin/notices.h"
#include "ui/main_window.h"
#include "uilib/ui_backend.h"

namespace {

// The number at the start of `text` as wcstol reads it in base 10: white space and one sign
// first, digits up to the first other character, 0 without digits, saturated to 32 bits.
int32_t WcstolValue(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  int64_t value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = std::min<int64_t>(value * 10 + (text[i] - L'0'), int64_t{INT32_MAX} + 1);
  }
  if (negative) {
    return static_cast<int32_t>(-value);
  }
  return static_cast<int32_t>(std::min<int64_t>(value, INT32_MAX));
}

}  // namespace

void CZuPictrove::GetAlbumList() {
  if (m_editUin == nullptr) {
    return;
  }
  // While a list is read, asking for the same number again changes nothing; asking for another
  // one gives the first read up.
  const int32_t asked = AppState::Instance()->m_uin;
  if (!ValidateUin(m_editUin->GetText()) ||
      (FetchInProgress() && AppState::Instance()->m_uin == asked)) {
    return;
  }
  // A new list ends the run over the old one and whatever the login window was asked.
  EndRun();
  if (m_loginWnd != nullptr) {
    m_loginWnd->CancelPending();
  }
  m_signInTicket = 0;
  StartAlbumListFetch(false);
}

bool CZuPictrove::ValidateUin(const std::wstring& text) {
  const int32_t value = WcstolValue(TrimSpaces(text));
  if (value < 10000) {
    return false;
  }
  AppState::Instance()->m_uin = value;
  return true;
}

void CZuPictrove::TickAllAlbums(bool selected) {
  const int count = m_albumList != nullptr ? m_albumList->GetCount() : 0;
  for (int i = 0; i < count; ++i) {
    CAlbumListItemUI* row = Row(i);
    if (row != nullptr && row->m_optSelect != nullptr) {
      row->m_optSelect->Selected(selected);
    }
  }
}

void CZuPictrove::TickPasswordAlbums(bool selected) {
  const int count = m_albumList != nullptr ? m_albumList->GetCount() : 0;
  for (int i = 0; i < count; ++i) {
    CAlbumListItemUI* row = Row(i);
    if (row != nullptr && AppState::Instance()->AlbumHasPassword(i) &&
        row->m_optSelect != nullptr) {
      row->m_optSelect->Selected(selected);
    }
  }
}

void CZuPictrove::Notify(TNotifyUI& msg) {
  CControlUI* sender = msg.pSender;
  if (msg.sType == L"click" && sender != nullptr) {
    if (sender == m_btnMin) {
      SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    } else if (sender == m_btnClose) {
      OnCloseCommand();
      return;  // the window may be gone
    } else if (sender == m_btnGet) {
      GetAlbumList();
    } else if (sender == m_btnDown) {
      if (FetchInProgress()) {
        return;  // the list is about to change: no run starts over it
      }
      if (m_albumList == nullptr || m_albumList->GetCount() < 1) {
        ShowNotice(kNoticeEmptyList);
        return;
      }
      if (m_btnDown->GetText() == kCaptionDownload) {
        m_btnDown->SetText(kCaptionStop);
        ++m_runId;
        ClearTickedRows();
        m_runCompleted = 0;
        m_runNotCompleted = 0;
        m_albumInProgress = false;
        AppState::Instance()->m_currentAlbum = 0;
        StartNextAlbum();
      } else {
        EndRun();
      }
    } else if (sender == m_btnBrowse) {
      const std::wstring folder = DownloadSettings::Instance()->BrowseForFolder(m_hWnd);
      if (!folder.empty()) {
        if (m_editAlbumDir != nullptr) {
          m_editAlbumDir->SetText(folder);
        }
        DownloadSettings::Instance()->WritePhotoDir(folder);
      }
    } else if (sender == m_btnAlbumAd || sender == m_btnKelAd) {
      if (UiBackend() != nullptr) {
        UiBackend()->OpenWebPage(FixedWebPage(sender == m_btnAlbumAd ? 1 : 2));
      }
    }
  } else if (msg.sType == L"selectchanged" && sender != nullptr) {
    if (sender == m_optSelectAll) {
      TickAllAlbums(m_optSelectAll->IsSelected());
    } else if (sender == m_optSelectPwdAlbum) {
      TickPasswordAlbums(m_optSelectPwdAlbum->IsSelected());
    }
  } else if (msg.sType == L"return" && sender != nullptr && sender == m_editUin) {
    // Enter in the user number field is the get button (which does nothing hidden or disabled).
    if (m_btnGet != nullptr) {
      m_btnGet->Activate();
    }
  }
  if (msg.sType == L"windowinit") {
    OnPrepare(msg);
  }
}
