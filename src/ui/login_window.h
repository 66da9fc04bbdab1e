#pragma once

// The login window: the service's user photo page in the embedded browser. It lets the user sign
// in, or steers the page into a password album 6 seconds after it was asked to, and on close tells
// the main window what to do next (read the album list again, or take the album from the web
// cache). The program never sees a password: the page asks for it itself.
//
// Each opening has a number (m_ticket) that the message posted on close carries, so that the main
// window can tell an answer to what it asks now from the answer to an opening it has given up.
// CancelPending hides the window and disarms its timer: a later click posts nothing. Escape does
// what the close button does.

#include "ui/dialog_wnd.h"
#include "uilib/ui_activex.h"

constexpr UINT kLoginTimerId = 101;
constexpr UINT kLoginTimerMs = 6000;

class CDuRavuvLogin : public CDialogWnd {
 public:
  std::wstring GetWindowClassName() const override;
  void OnFinalMessage(HWND hwnd) override;
  void InitWindow() override;
  LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  // Closing the login window never ends the application.
  LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  void Notify(TNotifyUI& msg) override;
  // Escape closes the window as its close button does.
  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

  // Loads the user's photo page and arms the timer that steers it into the album; `ticket` names
  // this opening.
  void OpenForPasswordAlbum(uint32_t ticket);
  // Gives up what the window was opened for: hidden, timer disarmed, nothing posted on close.
  void CancelPending();
  // Runs the album script in the first readable frame of the page.
  HRESULT InjectAlbumScript();
  // The close and done buttons: hides the window and tells the main window what to do next for
  // the opening it answers.
  void CloseAndAnswer();
  // Loads the user's photo page for signing in; `ticket` names this opening. Neither shows the
  // window nor arms the timer.
  void OpenForSignIn(uint32_t ticket);
  // The main window the answers go to.
  void SetMainWindow(HWND mainWnd) { m_mainWnd = mainWnd; }
  // The title band's text: what the window asks for.
  void SetTitle(const std::wstring& text);
  // The opening the window answers now; 0: none.
  uint32_t Ticket() const { return m_ticket; }

 private:
  CControlUI* m_btnOk = nullptr;
  CControlUI* m_btnClose = nullptr;
  CControlUI* m_lblTitle = nullptr;
  CActiveXUI* m_browserControl = nullptr;
  IWebBrowser* m_webBrowser = nullptr;
  HWND m_mainWnd = nullptr;
  uint32_t m_ticket = 0;  // the opening the window answers; 0: none
};

// The script that opens album `row` on the user's photo page.
std::wstring AlbumScript(int32_t row);
