#pragma once

// CPaintManagerUI: one per window. It holds the window's control tree, lays it out and paints it,
// routes mouse and keyboard input to controls (hover, press, focus with Tab, activation with Space
// or Enter), runs the controls' timers, finds controls by name and by point, and sends the
// notifications of controls to the window's notifiers. It also keeps the window's skin
// attributes: caption band, round corners, initial size, default font.

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "uilib/ui_control.h"

class CPaintManagerUI {
 public:
  CPaintManagerUI();
  ~CPaintManagerUI();
  CPaintManagerUI(const CPaintManagerUI&) = delete;
  CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

  // Resources, for every window.
  static void SetInstance(void* instance);
  // The executable's folder with a trailing separator.
  static std::wstring GetInstancePath();
  static void SetResourcePath(const std::wstring& path);
  // The skin archive in memory; every layout and image is read from it afterwards.
  static bool SetResourceZip(const void* data, size_t length);

  // Runs the message loop until the quit message; returns its exit code.
  static int MessageLoop();
  // Delivers the posted messages waiting now (the loop does this when woken).
  static void DispatchPostedMessages();
  static CPaintManagerUI* FromWindow(HWND hwnd);

  void Init(HWND hwnd);
  HWND GetPaintWindow() const { return m_hwnd; }
  // Takes ownership of the tree.
  bool AttachDialog(CControlUI* root);
  CControlUI* GetRoot() const { return m_root.get(); }

  bool AddNotifier(INotifyUI* notifier);
  bool RemoveNotifier(INotifyUI* notifier);
  bool AddPreMessageFilter(IMessageFilterUI* filter);
  bool RemovePreMessageFilter(IMessageFilterUI* filter);
  // Pre-message filters, in order, until one sets its handled flag.
  bool PreMessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // The library's handling of a window message; true when it took it.
  bool MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

  // Skin attributes of the window.
  RECT GetCaptionRect() const { return m_caption; }
  void SetCaptionRect(const RECT& rect) { m_caption = rect; }
  SIZE GetRoundCorner() const { return m_roundCorner; }
  void SetRoundCorner(int cx, int cy) { m_roundCorner = {cx, cy}; }
  SIZE GetInitSize() const { return m_initSize; }
  void SetInitSize(int cx, int cy) { m_initSize = {cx, cy}; }
  SIZE GetMinInfo() const { return m_minInfo; }
  void SetMinInfo(int cx, int cy) { m_minInfo = {cx, cy}; }
  const std::string& GetDefaultFontFamily() const { return m_fontFamily; }
  void SetDefaultFontFamily(std::string family) { m_fontFamily = std::move(family); }
  int GetDefaultFontSize() const { return m_fontSize; }
  void SetDefaultFontSize(int size) { m_fontSize = size; }
  uint32_t GetBkColor() const { return m_bkColor; }
  void SetBkColor(uint32_t color) { m_bkColor = color; }

  // Lookups: by name (the first control attached with it), by point (the topmost control there),
  // by name among the descendants of `parent`. Null when there is none.
  CControlUI* FindControl(const std::wstring& name) const;
  CControlUI* FindControl(POINT point);
  CControlUI* FindSubControlByName(CControlUI* parent, const std::wstring& name) const;
  CControlUI* FindControl(CControlUI* parent, const std::wstring& name) const {
    return FindSubControlByName(parent, name);
  }
  void ForEachControl(const std::function<void(CControlUI*)>& visit);

  // Timers of controls: a "timer" notification from `control` every `elapse` ms.
  bool SetTimer(CControlUI* control, UINT id, UINT elapse);
  bool KillTimer(CControlUI* control, UINT id);
  void KillTimer(CControlUI* control);

  void SendNotify(CControlUI* control, const std::wstring& type, WPARAM wParam = 0,
                  LPARAM lParam = 0);

  CControlUI* GetFocus() const { return m_focus; }
  // Moves the focus; a list holding the new focus scrolls to show it.
  void SetFocus(CControlUI* control);
  // The focus moved with the mouse (a click, also into a native text field): no focus cue.
  void SetFocusByPointer(CControlUI* control);
  // Whether the focused control shows it (after the keyboard was used to move it).
  bool ShowsFocus() const { return m_focusCue; }

  void Invalidate(const RECT& rect);
  void NeedUpdate();
  // Lays the tree out for the window's client size if anything changed.
  void UpdateLayout();
  void Paint(cairo_t* cr, const RECT& clip);

  // Bookkeeping of the controls' lifetimes (called by CControlUI).
  void AdoptControl(CControlUI* control);
  void ReapControl(CControlUI* control);
  void RenameControl(CControlUI* control, const std::wstring& from, const std::wstring& to);

 private:
  struct Timer {
    CControlUI* control;
    UINT id;
    uint64_t backendId;
    WPARAM key;
  };

  void Event(CControlUI* control, UiEventType type, POINT point, WPARAM wParam = 0);
  void SetHover(CControlUI* control, POINT point);
  void MoveFocus(bool forward);
  // Focusable, enabled and shown: Tab stops there and keys reach it.
  static bool TakesKeys(const CControlUI* control);
  RECT ClientRect() const;

  HWND m_hwnd = nullptr;
  std::unique_ptr<CControlUI> m_root;
  std::unordered_map<std::wstring, CControlUI*> m_names;
  std::vector<INotifyUI*> m_notifiers;
  std::vector<IMessageFilterUI*> m_preFilters;
  std::vector<Timer> m_timers;
  WPARAM m_nextTimerKey = 1;
  CControlUI* m_focus = nullptr;
  CControlUI* m_hover = nullptr;
  CControlUI* m_capture = nullptr;
  bool m_focusCue = false;
  bool m_needLayout = false;
  bool m_windowInitSent = false;
  SIZE m_laidOutSize;
  RECT m_caption{};
  SIZE m_roundCorner;
  SIZE m_initSize;
  SIZE m_minInfo;
  std::string m_fontFamily = "Noto Sans CJK SC, Sans";
  int m_fontSize = 13;
  uint32_t m_bkColor = 0xFFFFFFFF;
};

// The Shift key was down with a WM_KEYDOWN (bit in its lParam).
constexpr LPARAM kKeyShiftDown = 0x1;
