#pragma once

// A window of the program's own kind for tests: a CDialogWnd built by CreateFromLayout from a
// layout text, which it writes into a skin folder of its own. It records every notification as
// "type:sender name" and is owned by the test (nothing is deleted when it closes).

#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "ui/dialog_wnd.h"
#include "uilib/resources.h"

class LayoutDialog : public CDialogWnd {
 public:
  explicit LayoutDialog(const std::string& layout) { m_skin.Write("layout.xml", layout); }
  ~LayoutDialog() override { SkinResources::Clear(); }

  std::wstring GetWindowClassName() const override { return L"LayoutDialog"; }
  LRESULT OnCreate(UINT, WPARAM, LPARAM, bool& bHandled) override {
    SkinResources::SetFolder(m_skin.Path().string());
    return CreateFromLayout(L"layout.xml", nullptr, bHandled);
  }
  void Notify(TNotifyUI& msg) override {
    notes.push_back(msg.sType + L":" + (msg.pSender ? msg.pSender->GetName() : L""));
    CDialogWnd::Notify(msg);
  }
  void OnFinalMessage(HWND) override { *gone = true; }

  CControlUI* Find(const wchar_t* name) { return m_paintManager.FindControl(name); }

  std::vector<std::wstring> notes;
  bool* gone = &m_goneStorage;  // set when the window is gone

 private:
  TempDir m_skin;
  bool m_goneStorage = false;
};
