#pragma once

// A plain window of the UI library for its tests: built from a layout text, it records every
// notification as "type:sender name", hands its messages to its paint manager and then to the
// default handling, and is owned by the test (nothing is deleted when it closes).

#include <string>
#include <vector>

#include "uilib/paint_manager.h"
#include "uilib/window_wnd.h"

class LayoutWindow : public CWindowWnd, public INotifyUI, public IMessageFilterUI {
 public:
  explicit LayoutWindow(std::string layout) : m_layout(std::move(layout)) {}

  std::wstring GetWindowClassName() const override { return L"LayoutWindow"; }
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND) override { *gone = true; }
  void Notify(TNotifyUI& msg) override;
  // Sees the messages the paint manager filters before delivery; takes none.
  LRESULT MessageHandler(UINT, WPARAM, LPARAM, bool&) override { return 0; }

  CPaintManagerUI& Manager() { return m_paintManager; }
  CControlUI* Find(const wchar_t* name) { return m_paintManager.FindControl(name); }

  std::vector<std::wstring> notes;
  bool* gone = &m_goneStorage;  // set when the window is gone

 private:
  std::string m_layout;
  CPaintManagerUI m_paintManager;
  bool m_goneStorage = false;
};

// The middle of a control.
POINT Center(const CControlUI* control);
// The pixel at `point` of a rendered surface, as 0xAARRGGBB.
uint32_t PixelAt(cairo_surface_t* surface, POINT point);
