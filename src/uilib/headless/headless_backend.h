#pragma once

// The back end for tests: windows without a display, a virtual clock for timers, and dialogs,
// the folder picker, web pages and the browser answered as the test scripts them. Windows can be
// painted into a Cairo image surface and saved as PNG.

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "uilib/ui_backend.h"

struct HeadlessWindow {
  HWND parent = nullptr;
  RECT rect;
  bool visible = false;
  bool focused = false;
  bool minimized = false;
  std::vector<RECT> shape;
  std::wstring title;
  INativeWindowClient* client = nullptr;
  int moveDrags = 0;  // times a drag of the window began
};

struct HeadlessMessageBox {
  HWND owner;
  std::wstring text;
  std::wstring caption;
  UINT type;
};

// The scripted browser: frames in order, each readable or not (another origin).
class HeadlessBackend;

class HeadlessWebBrowser : public IWebBrowser {
 public:
  explicit HeadlessWebBrowser(HeadlessBackend* backend) : m_backend(backend) {}
  ~HeadlessWebBrowser() override;
  struct Frame {
    std::wstring url;
    bool readable = true;
    std::vector<std::wstring> scripts;  // what ran in it
  };

  void SetRect(const RECT& rect) override { m_rect = rect; }
  void SetVisible(bool visible) override { m_visible = visible; }
  HRESULT Navigate(const std::wstring& url) override;
  HRESULT ExecScriptInFirstReadableFrame(const std::wstring& script) override;

  std::vector<std::wstring> navigations;
  std::vector<Frame> frames;
  // Runs on each navigation (a test can fill frames or the web cache there).
  std::function<void(const std::wstring& url)> onNavigate;
  // Runs with each script that ran, and the frame it ran in.
  std::function<void(const std::wstring& script, Frame& frame)> onScript;
  RECT m_rect;
  bool m_visible = true;

 private:
  HeadlessBackend* m_backend;
};

class HeadlessNativeEdit : public INativeEdit {
 public:
  explicit HeadlessNativeEdit(HeadlessBackend* backend) : m_backend(backend) {}
  ~HeadlessNativeEdit() override;
  void SetRect(const RECT& rect) override { m_rect = rect; }
  void SetVisible(bool visible) override { m_visible = visible; }
  void SetEnabled(bool enabled) override { m_enabled = enabled; }
  void SetText(const std::wstring& text) override { m_text = text; }
  std::wstring GetText() const override { return m_text; }
  // As a native field: a hidden or disabled one takes no keyboard.
  void SetFocus() override { m_focused = m_visible && m_enabled; }
  void KillFocus() override { m_focused = false; }
  void SetFocusHandler(std::function<void()> handler) override { m_onFocus = std::move(handler); }
  void SetChangeHandler(std::function<void()> handler) override { m_onChange = std::move(handler); }
  void SetReadOnly(bool readOnly) override { m_readOnly = readOnly; }

  // Test side: the user types `text` into the field (it replaces what was there, unless the field
  // is read-only).
  void UserType(const std::wstring& text) {
    if (m_readOnly) {
      return;
    }
    m_text = text;
    if (m_onChange) {
      m_onChange();
    }
  }
  // Test side: the user clicks into the field.
  void UserFocus() {
    m_focused = true;
    if (m_onFocus) {
      m_onFocus();
    }
  }

  RECT m_rect;
  bool m_visible = true;
  bool m_enabled = true;
  bool m_focused = false;
  bool m_readOnly = false;
  std::wstring m_text;
  std::function<void()> m_onFocus;
  std::function<void()> m_onChange;

 private:
  HeadlessBackend* m_backend;
};

class HeadlessBackend : public IUiBackend {
 public:
  HeadlessBackend();
  // Makes a new headless back end the UI library's, with no posted message left over from before;
  // the library owns it.
  static HeadlessBackend* Install();

  // IUiBackend
  void CreateNativeWindow(HWND hwnd, HWND parent, const RECT& rect,
                          INativeWindowClient* client) override;
  void DestroyNativeWindow(HWND hwnd) override;
  void ShowNativeWindow(HWND hwnd, bool show, bool takeFocus) override;
  bool IsNativeWindowVisible(HWND hwnd) const override;
  void MoveNativeWindow(HWND hwnd, const RECT& rect) override;
  RECT GetNativeWindowRect(HWND hwnd) const override;
  void InvalidateNativeWindow(HWND hwnd, const RECT& clientRect) override;
  void SetNativeWindowShape(HWND hwnd, const std::vector<RECT>& shape) override;
  bool IsNativeWindowMinimized(HWND hwnd) const override;
  void MinimizeNativeWindow(HWND hwnd) override;
  void BeginMoveDrag(HWND hwnd, POINT screenPoint) override;
  RECT GetMonitorWorkArea(HWND hwnd) const override;
  void SetNativeWindowTitle(HWND hwnd, const std::wstring& title) override;
  uint64_t StartTimer(unsigned periodMs, std::function<void()> tick) override;
  void StopTimer(uint64_t id) override;
  int RunLoop(const std::function<void()>& takePosted) override;
  void QuitLoop(int exitCode) override;
  void WakeLoop() override {}
  int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption,
                     UINT type) override;
  std::optional<std::wstring> PickFolder(HWND owner, const std::wstring& title) override;
  bool OpenWebPage(const std::wstring& url) override;
  std::unique_ptr<INativeEdit> CreateNativeEdit(HWND owner) override;
  std::unique_ptr<IWebBrowser> CreateWebBrowser(HWND owner) override;

  // Test side.
  // Delivers posted messages until none is left.
  void RunUntilIdle();
  // Moves the virtual clock on, firing due timers in time order (posted messages are delivered
  // after each tick).
  void AdvanceClock(unsigned ms);
  uint64_t Now() const { return m_now; }
  const HeadlessWindow* Window(HWND hwnd) const;
  // Input in client coordinates; a press in the caption band starts a drag instead of a click.
  void Click(HWND hwnd, POINT point);
  void MouseMove(HWND hwnd, POINT point);
  void MouseDown(HWND hwnd, POINT point);
  void MouseUp(HWND hwnd, POINT point);
  void Wheel(HWND hwnd, POINT point, int direction);
  void Key(HWND hwnd, WPARAM key, bool shift = false);
  // Sends a system message as the desktop would (Alt+F4: WM_SYSCOMMAND SC_CLOSE).
  LRESULT System(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  // The window painted into a new image surface (the caller destroys it).
  // The window drawn at `scale` device pixels per pixel.
  cairo_surface_t* Render(HWND hwnd) const;
  bool SavePng(HWND hwnd, const std::string& path) const;

  std::vector<HeadlessMessageBox> messageBoxes;
  std::deque<int> messageBoxAnswers;  // IDOK (1) when empty
  std::vector<std::wstring> pickerTitles;
  std::deque<std::optional<std::wstring>> pickerAnswers;  // cancel when empty
  std::vector<std::wstring> openedPages;
  bool webPagesOpen = true;                   // false: as a desktop without a web browser
  std::vector<HeadlessWebBrowser*> browsers;  // owned by their controls
  std::vector<HeadlessNativeEdit*> edits;     // owned by their controls
  RECT workArea{0, 0, 1920, 1040};
  int scale = 1;  // device pixels per pixel of Render and SavePng
  std::optional<int> quitCode;
  std::function<void()> takePosted;

 private:
  struct Timer {
    uint64_t id;
    unsigned period;
    uint64_t due;
    std::function<void()> tick;
  };
  HeadlessWindow* Find(HWND hwnd);

  std::map<HWND, HeadlessWindow> m_windows;
  std::vector<Timer> m_timers;
  uint64_t m_now = 0;
  uint64_t m_nextTimer = 1;
};
