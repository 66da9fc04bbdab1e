#pragma once

// CDialogWnd: the base of the program's windows. A skinned window without a system frame: the
// caption band of its skin drags it (buttons, options and text labels in the band stay
// clickable), its top corners are rounded to the skin's round-corner size, maximised it fills its
// monitor's work area, and the system close command (Alt+F4) ends the application. Ten window
// messages go to virtual handlers; what a handler leaves unhandled goes to the paint manager and
// then to the default handling.

#include "uilib/paint_manager.h"
#include "uilib/window_wnd.h"

class IDialogBuilderCallback;

class CDialogWnd : public CWindowWnd, public INotifyUI, public IMessageFilterUI {
 public:
  CDialogWnd() = default;

  std::wstring GetWindowClassName() const override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  // Deletes the object once its window is gone.
  void OnFinalMessage(HWND hwnd) override;

  virtual void InitWindow();
  virtual void OnPrepare(TNotifyUI& msg);
  // The close command: closes the window when m_destroyOnClose is set, else hides it.
  virtual void OnCloseCommand();
  virtual void CloseNow();

  virtual LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  // What every skinned window does in OnCreate: its paint manager takes the window, the window
  // filters its messages and hears its controls, the layout `layoutFile` of the skin (with
  // `callback` for the elements the library does not know) becomes its tree, then InitWindow.
  LRESULT CreateFromLayout(const std::wstring& layoutFile, IDialogBuilderCallback* callback,
                           bool& bHandled);
  virtual LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  virtual LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  virtual LRESULT OnNcActivate(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  virtual LRESULT OnNcCalcSize(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  virtual LRESULT OnNcPaint(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  virtual LRESULT OnNcHitTest(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  virtual LRESULT OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  virtual LRESULT OnGetMinMaxInfo(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  virtual LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled);

  // INotifyUI: "windowinit" goes to OnPrepare.
  void Notify(TNotifyUI& msg) override;
  // IMessageFilterUI: handles nothing.
  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

  CPaintManagerUI m_paintManager;
  uint8_t m_destroyOnClose = 0;
};

// The window shape for a client rectangle and a round-corner size: rounded at the two top corners
// only, as a list of rectangles whose union is the shape. Empty (no shape) for a corner size of 0.
std::vector<RECT> TopRoundedRegion(const RECT& client, SIZE corner);
