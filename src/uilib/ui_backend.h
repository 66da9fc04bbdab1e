#pragma once

// What the UI library needs from the system it runs on. Two back ends implement it with one
// control tree above them: GTK 3 (real windows) and headless (tests: no display, a virtual clock,
// dialogs answered by the test).

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "uilib/ui_types.h"

class CControlUI;

// A native text field placed over an edit control.
class INativeEdit {
 public:
  virtual ~INativeEdit() = default;
  virtual void SetRect(const RECT& clientRect) = 0;
  virtual void SetVisible(bool visible) = 0;
  // A disabled field takes neither the keyboard nor typing.
  virtual void SetEnabled(bool enabled) = 0;
  virtual void SetText(const std::wstring& text) = 0;
  virtual std::wstring GetText() const = 0;
  // Gives the field the keyboard; KillFocus gives the keyboard back to the window when the field
  // has it.
  virtual void SetFocus() = 0;
  virtual void KillFocus() = 0;
  // `handler` runs when the field takes the keyboard by itself (the user clicked into it).
  virtual void SetFocusHandler(std::function<void()> handler) = 0;
  // A read-only field shows its text and lets it be selected and copied, but takes no typing.
  virtual void SetReadOnly(bool readOnly) = 0;
  // `handler` runs when the user changes the text (typing, pasting, deleting); not for SetText.
  virtual void SetChangeHandler(std::function<void()> handler) = 0;
};

// The embedded web browser placed over an ActiveX control named "ie".
class IWebBrowser {
 public:
  virtual ~IWebBrowser() = default;
  virtual void SetRect(const RECT& clientRect) = 0;
  virtual void SetVisible(bool visible) = 0;
  // Starts loading the page; S_OK when the load was started.
  virtual HRESULT Navigate(const std::wstring& url) = 0;
  // Runs `script` in the first frame of the page whose document can be read (frames of another
  // origin are skipped), in frame order; no frame, no script. S_OK when it ran somewhere.
  virtual HRESULT ExecScriptInFirstReadableFrame(const std::wstring& script) = 0;
};

// Callbacks from a native window to the library.
class INativeWindowClient {
 public:
  virtual ~INativeWindowClient() = default;
  // A window message from the system (input, size, close, ...), as SendMessage.
  virtual LRESULT OnNativeMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
  // Paint the client area; `clip` is the part to draw.
  virtual void OnNativePaint(cairo_t* cr, const RECT& clip) = 0;
};

class IUiBackend {
 public:
  virtual ~IUiBackend() = default;

  // Windows: `rect` in screen coordinates; the whole window is client area.
  virtual void CreateNativeWindow(HWND hwnd, HWND parent, const RECT& rect,
                                  INativeWindowClient* client) = 0;
  virtual void DestroyNativeWindow(HWND hwnd) = 0;
  virtual void ShowNativeWindow(HWND hwnd, bool show, bool takeFocus) = 0;
  virtual bool IsNativeWindowVisible(HWND hwnd) const = 0;
  virtual void MoveNativeWindow(HWND hwnd, const RECT& rect) = 0;
  virtual RECT GetNativeWindowRect(HWND hwnd) const = 0;
  virtual void InvalidateNativeWindow(HWND hwnd, const RECT& clientRect) = 0;
  // The window's shape: the union of the rectangles (client coordinates); empty: no shape.
  virtual void SetNativeWindowShape(HWND hwnd, const std::vector<RECT>& shape) = 0;
  virtual bool IsNativeWindowMinimized(HWND hwnd) const = 0;
  virtual void MinimizeNativeWindow(HWND hwnd) = 0;
  // Lets the user move the window with the pressed mouse button, from `screenPoint`.
  virtual void BeginMoveDrag(HWND hwnd, POINT screenPoint) = 0;
  virtual RECT GetMonitorWorkArea(HWND hwnd) const = 0;
  virtual void SetNativeWindowTitle(HWND hwnd, const std::wstring& title) = 0;
  // The window's icon from the bytes of a PNG image; a back end without icons ignores it.
  virtual void SetNativeWindowIcon(HWND /*hwnd*/, const std::string& /*png*/) {}

  // Repeating timers on the UI thread; Start returns an id for Stop.
  virtual uint64_t StartTimer(unsigned periodMs, std::function<void()> tick) = 0;
  virtual void StopTimer(uint64_t id) = 0;

  // The message loop: Run until Quit; Wake (any thread) makes the loop take posted messages.
  virtual int RunLoop(const std::function<void()>& takePosted) = 0;
  virtual void QuitLoop(int exitCode) = 0;
  virtual void WakeLoop() = 0;

  // Modal dialogs and the desktop.
  virtual int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption,
                             UINT type) = 0;
  virtual std::optional<std::wstring> PickFolder(HWND owner, const std::wstring& title) = 0;
  virtual bool OpenWebPage(const std::wstring& url) = 0;

  // Native children of a window.
  virtual std::unique_ptr<INativeEdit> CreateNativeEdit(HWND owner) = 0;
  virtual std::unique_ptr<IWebBrowser> CreateWebBrowser(HWND owner) = 0;

  // Accessibility: `control` is about to be freed. A back end that publishes the control tree to
  // assistive technologies lets go of it now; the others have nothing to do.
  virtual void ForgetControl(CControlUI* /*control*/) {}
};

// The back end in use; set once at start (the entry point, or a test).
IUiBackend* UiBackend();
void SetUiBackend(std::unique_ptr<IUiBackend> backend);
