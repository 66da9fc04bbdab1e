#include "ui/login_window.h"

#include "catalogue/app_messages.h"
#include "catalogue/app_state.h"
#include "catalogue/service_config.h"
#include "platform/posted_messages.h"
#include "uilib/dialog_builder.h"

std::wstring AlbumScript(int32_t row) {
  return L"if( typeof myView != 'undefined' ){myView.tcisdStats('list.ablumcover');myView.enter(" +
         std::to_wstring(row) + L");}";
}

std::wstring CDuRavuvLogin::GetWindowClassName() const {
  return L"DuRavuvLogin";
}

void CDuRavuvLogin::OnFinalMessage(HWND hwnd) {
  m_paintManager.RemovePreMessageFilter(this);
  CDialogWnd::OnFinalMessage(hwnd);
}

LRESULT CDuRavuvLogin::OnCreate(UINT, WPARAM, LPARAM, bool& bHandled) {
  return CreateFromLayout(L"AlbumLogin.xml", nullptr, bHandled);
}

void CDuRavuvLogin::InitWindow() {
  CDialogWnd::InitWindow();
  m_btnOk = m_paintManager.FindControl(L"login_btn_ok");
  m_btnClose = m_paintManager.FindControl(L"closebtn");
  m_lblTitle = m_paintManager.FindControl(L"login_lbl_title");
  m_browserControl = dynamic_cast<CActiveXUI*>(m_paintManager.FindControl(L"ie"));
  if (m_browserControl != nullptr) {
    m_browserControl->GetControl(IID_IWebBrowser2, &m_webBrowser);
  }
}

LRESULT CDuRavuvLogin::OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = false;
  return 0;
}

void CDuRavuvLogin::OpenForPasswordAlbum(uint32_t ticket) {
  CancelPending();
  m_ticket = ticket;
  const std::wstring page = UserPhotoPageUrl(AppState::Instance()->m_uin);
  if (m_webBrowser != nullptr) {
    m_webBrowser->Navigate(page);
  }
  m_paintManager.SetTimer(m_btnOk, kLoginTimerId, kLoginTimerMs);
}

void CDuRavuvLogin::OpenForSignIn(uint32_t ticket) {
  m_ticket = ticket;
  if (m_webBrowser != nullptr) {
    m_webBrowser->Navigate(UserPhotoPageUrl(AppState::Instance()->m_uin));
  }
}

void CDuRavuvLogin::SetTitle(const std::wstring& text) {
  if (m_lblTitle != nullptr) {
    m_lblTitle->SetText(text);
  }
}

void CDuRavuvLogin::CancelPending() {
  if (m_btnOk != nullptr) {
    m_paintManager.KillTimer(m_btnOk, kLoginTimerId);
  }
  ShowWindow(false, false);
  m_ticket = 0;
  AppState::Instance()->m_loginOutcome = 0;
}

HRESULT CDuRavuvLogin::InjectAlbumScript() {
  if (m_webBrowser == nullptr) {
    return E_FAIL;
  }
  return m_webBrowser->ExecScriptInFirstReadableFrame(
      AlbumScript(AppState::Instance()->m_currentAlbum));
}

void CDuRavuvLogin::CloseAndAnswer() {
  OnCloseCommand();
  AppState* state = AppState::Instance();
  if (m_mainWnd != nullptr && m_ticket != 0) {
    if (state->m_loginOutcome == 1) {
      ::PostMessage(m_mainWnd, WM_ALBUMS_RELOAD, m_ticket, 0);
    } else if (state->m_loginOutcome == 2) {
      ::PostMessage(m_mainWnd, WM_PASSWORD_RESUME, m_ticket, 0);
    }
  }
  state->m_loginOutcome = 0;
  m_ticket = 0;
}

LRESULT CDuRavuvLogin::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM, bool& bHandled) {
  if (uMsg == WM_KEYDOWN && wParam == VK_ESCAPE) {
    CloseAndAnswer();
    bHandled = true;
  }
  return 0;
}

void CDuRavuvLogin::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender != nullptr &&
      (msg.pSender == m_btnOk || msg.pSender == m_btnClose)) {
    CloseAndAnswer();
  } else if (msg.sType == L"timer" && msg.pSender != nullptr && msg.pSender == m_btnOk) {
    m_paintManager.KillTimer(m_btnOk, kLoginTimerId);
    InjectAlbumScript();
    ShowWindow(true, true);
  }
  if (msg.sType == L"windowinit") {
    OnPrepare(msg);
  }
}
