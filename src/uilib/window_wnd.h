#pragma once

// CWindowWnd: a top-level window of the back end, with a handle, its message handler and the
// default handling of messages it leaves alone. Messages reach it three ways: SendMessage (at
// once, to HandleMessage), posted messages and native input (first to its paint manager's
// pre-message filters, then to HandleMessage; dropped when the window is gone).

#include <string>

#include "uilib/ui_backend.h"
#include "uilib/ui_types.h"

class CWindowWnd : public INativeWindowClient {
 public:
  CWindowWnd() = default;
  ~CWindowWnd() override;
  CWindowWnd(const CWindowWnd&) = delete;
  CWindowWnd& operator=(const CWindowWnd&) = delete;

  HWND GetHWND() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }

  // Makes the window; WM_CREATE runs inside. Style flags are accepted for their meaning on the
  // system the program came from and not used. Returns the handle, or null.
  HWND Create(HWND parent, const std::wstring& name, UINT style, UINT exStyle, int x, int y, int cx,
              int cy);
  void CenterWindow();
  void ShowWindow(bool show = true, bool takeFocus = true);
  // Posts WM_CLOSE; the default handling destroys the window.
  void Close(UINT result = 1);
  void SetIcon(UINT resource);
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  bool PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  // Resizes the client area, within the limits the window gives for WM_GETMINMAXINFO (its
  // layout's "mininfo" at least, the monitor's work area at most).
  void ResizeClient(int cx, int cy);
  RECT GetClientRect() const;
  RECT GetWindowRect() const;
  POINT ScreenToClient(POINT point) const;
  bool IsIconic() const;
  // WM_DESTROY, then the native window goes, then OnFinalMessage (which may delete the object).
  void DestroyWindow();

  virtual std::wstring GetWindowClassName() const = 0;
  virtual std::wstring GetSuperClassName() const { return {}; }
  virtual UINT GetClassStyle() const { return 0; }
  // The default handling: WM_CLOSE destroys the window, WM_SYSCOMMAND SC_CLOSE closes it and
  // SC_MINIMIZE minimises it, WM_NCHITTEST is the client area, everything else gives 0.
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  virtual void OnFinalMessage(HWND hwnd);

  // From the back end.
  LRESULT OnNativeMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnNativePaint(cairo_t* cr, const RECT& clip) override;

 protected:
  HWND m_hWnd = nullptr;
  UINT m_icon = 0;

 private:
  SIZE SizeWithinLimits(int cx, int cy);
};

// The window of a handle, or null when it is gone.
CWindowWnd* WindowFromHandle(HWND hwnd);
// A queued message (posted or input): pre-message filters, then HandleMessage; 0 when the window
// is gone.
LRESULT DeliverWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Ends the message loop with `exitCode`.
void PostQuitMessage(int exitCode);
