#pragma once

// A one-line text field: the back end's native text entry, kept over the control's rectangle.
// The control paints only its frame (and the focus ring around it when it has the focus); the
// entry shows and edits the text. The entry shows only while the control and all its parents are
// visible, and takes no typing while the control is disabled. It is one stop of the window's
// focus chain: a click into the entry makes the control the focused one, Tab and Shift+Tab in it
// move on along the chain, and Enter in it sends "return".

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
  void SetEnabled(bool enabled) override;
  bool IsFocusable() const override { return m_enabled; }
  void DoEvent(TEventUI& event) override;
  bool SetAttribute(std::string_view name, std::string_view value) override;
  static const AttributeTable<CEditUI>& Attributes();

 protected:
  void PaintBorder(cairo_t* cr) override;
  void VisibilityChanged() override;

 private:
  void EnsureNative();
  std::unique_ptr<INativeEdit> m_native;
  bool m_readOnly = false;  // shown and selectable, not typed into
};
