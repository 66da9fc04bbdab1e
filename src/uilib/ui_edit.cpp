#include "uilib/ui_edit.h"

#include "uilib/paint_manager.h"

CEditUI::~CEditUI() = default;

std::wstring CEditUI::GetClass() const {
  return L"EditUI";
}

void CEditUI::EnsureNative() {
  if (m_native || m_manager == nullptr || m_manager->GetPaintWindow() == nullptr ||
      UiBackend() == nullptr) {
    return;
  }
  m_native = UiBackend()->CreateNativeEdit(m_manager->GetPaintWindow());
  if (m_native) {
    m_native->SetText(m_text);
    m_native->SetVisible(m_visible);
    if (!m_rect.IsEmpty()) {
      m_native->SetRect(m_rect);
    }
  }
}

std::wstring CEditUI::GetText() const {
  return m_native ? m_native->GetText() : m_text;
}

void CEditUI::SetText(const std::wstring& text) {
  m_text = text;
  if (m_native) {
    m_native->SetText(text);
  }
}

void CEditUI::SetManager(CPaintManagerUI* manager, CControlUI* parent) {
  CControlUI::SetManager(manager, parent);
  EnsureNative();
}

void CEditUI::SetPos(const RECT& rect) {
  CControlUI::SetPos(rect);
  EnsureNative();
  if (m_native) {
    // The entry sits inside the frame the control paints.
    const int inset = m_borderSize;
    m_native->SetRect(
        {rect.left + inset, rect.top + inset, rect.right - inset, rect.bottom - inset});
  }
}

void CEditUI::SetVisible(bool visible) {
  CControlUI::SetVisible(visible);
  if (m_native) {
    m_native->SetVisible(visible);
  }
}

void CEditUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEVENT_SETFOCUS && m_native) {
    m_native->SetFocus();
  }
  CControlUI::DoEvent(event);
}
