#pragma once

// A one-line text field: the back end's native text entry, kept over the control's rectangle.
// The control paints only its frame; the entry shows and edits the text.

#include <memory>

#include "uilib/ui_backend.h"
#include "uilib/ui_control.h"

class CEditUI : public CControlUI {
 public:
  ~CEditUI() override;
  std::wstring GetClass() const override;
  std::wstring GetText() const override;
  void SetText(const std::wstring& text) override;
  void SetManager(CPaintManagerUI* manager, CControlUI* parent) override;
  void SetPos(const RECT& rect) override;
  void SetVisible(bool visible) override;
  bool IsFocusable() const override { return m_enabled; }
  void DoEvent(TEventUI& event) override;

 private:
  void EnsureNative();
  std::unique_ptr<INativeEdit> m_native;
};
