// The main window's commands: what each button and option does.

#include <climits>
#include <optional>

#include "catalogue/album_list_fetch.h"
#include "catalogue/app_state.h"
#include "catalogue/service_config.h"
#include "download/download_settings.h"
#include "platform/text_helpers.h"
#include "skin/notices.h"
#include "ui/main_window.h"
#include "uilib/ui_backend.h"

namespace {

constexpr size_t kMostUinDigits = 10;

// The user number at the start of `text` as wcstol reads it in base 10 (white space and one sign
// first, then digits up to the first other character); nothing when it has no digits, more than
// ten, or does not fit 32 bits.
std::optional<int64_t> LeadingNumber(const std::wstring& text) {
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
  size_t digits = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    if (++digits > kMostUinDigits) {
      return std::nullopt;
    }
    value = value * 10 + (text[i] - L'0');
  }
  if (digits == 0 || value > INT32_MAX) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

}  // namespace

void CZuPictrove::GetAlbumList() {
  if (m_editUin == nullptr) {
    return;
  }
  // While a list is read, asking for the same number again changes nothing; asking for another
  // one gives the first read up.
  const int32_t asked = AppState::Instance()->m_uin;
  if (!ValidateUin(m_editUin->GetText())) {
    ShowUinHint(true);  // until the next keystroke
    return;
  }
  ShowUinHint(false);
  if (FetchInProgress() && AppState::Instance()->m_uin == asked) {
    return;
  }
  if (AppState::Instance()->m_uin != m_listUin) {
    // The rows belong to the number they were read for: another number's go at once.
    AppState::Instance()->ClearAlbums();
    FillAlbumList();
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
  const std::optional<int64_t> value = LeadingNumber(TrimSpaces(text));
  if (!value || *value < 10000) {
    return false;
  }
  AppState::Instance()->m_uin = static_cast<int32_t>(*value);
  return true;
}

void CZuPictrove::ShowUinHint(bool shown) {
  if (m_lblUinHint != nullptr && m_lblUinHint->IsVisible() != shown) {
    m_lblUinHint->SetVisible(shown);
  }
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

int CZuPictrove::TickedRows() const {
  int ticked = 0;
  const int count = m_albumList != nullptr ? m_albumList->GetCount() : 0;
  for (int i = 0; i < count; ++i) {
    const CAlbumListItemUI* row = Row(i);
    ticked += row != nullptr && row->m_optSelect != nullptr && row->m_optSelect->IsSelected();
  }
  return ticked;
}

void CZuPictrove::SyncTickOptions() {
  const int count = m_albumList != nullptr ? m_albumList->GetCount() : 0;
  bool allTicked = count > 0;
  int passwordAlbums = 0;
  bool allPasswordAlbumsTicked = true;
  for (int i = 0; i < count; ++i) {
    const CAlbumListItemUI* row = Row(i);
    const bool ticked =
        row != nullptr && row->m_optSelect != nullptr && row->m_optSelect->IsSelected();
    allTicked = allTicked && ticked;
    if (AppState::Instance()->AlbumHasPassword(i)) {
      ++passwordAlbums;
      allPasswordAlbumsTicked = allPasswordAlbumsTicked && ticked;
    }
  }
  // The options tell the rows' state; changing them here ticks nothing.
  if (m_optSelectAll != nullptr) {
    m_optSelectAll->Selected(allTicked, false);
  }
  if (m_optSelectPwdAlbum != nullptr) {
    m_optSelectPwdAlbum->Selected(passwordAlbums > 0 && allPasswordAlbumsTicked, false);
    m_optSelectPwdAlbum->SetEnabled(passwordAlbums > 0);
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
      if (m_btnDown->GetText() == kCaptionDownload && TickedRows() == 0) {
        ShowNotice(std::wstring(kNoticeNothingTicked));  // no run over nothing
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
      const std::wstring page = FixedWebPage(sender == m_btnAlbumAd ? 1 : 2);
      if (UiBackend() != nullptr && !UiBackend()->OpenWebPage(page)) {
        // No web browser is set up: the address, to open by hand, rather than nothing at all.
        ShowNotice(std::wstring(kNoticeNoWebBrowser) + page);
      }
    }
  } else if (msg.sType == L"selectchanged" && sender != nullptr) {
    if (sender == m_optSelectAll) {
      TickAllAlbums(m_optSelectAll->IsSelected());
    } else if (sender == m_optSelectPwdAlbum) {
      TickPasswordAlbums(m_optSelectPwdAlbum->IsSelected());
    }
    SyncTickOptions();
  } else if (msg.sType == L"textchanged" && sender != nullptr && sender == m_editUin) {
    ShowUinHint(false);
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
