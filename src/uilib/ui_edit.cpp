#include "uilib/ui_edit.h"

#include "uilib/paint_manager.h"
#include "uilib/render_engine.h"

namespace {

constexpr uint32_t kFocusRingColor = 0xFF4A90E2;
constexpr int kFocusRingWidth = 2;

}  // namespace

CEditUI::~CEditUI() = default;

const AttributeTable<CEditUI>& CEditUI::Attributes() {
  using namespace attribute;
  static const AttributeTable<CEditUI> table = {
      {"readonly", Flag(&CEditUI::m_readOnly)},
  };
  return table;
}

bool CEditUI::SetAttribute(std::string_view name, std::string_view value) {
  if (!Attributes().ApplyOrBase<CControlUI>(*this, name, value)) {
    return false;
  }
  if (m_native) {
    m_native->SetReadOnly(m_readOnly);
  }
  return true;
}

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
    m_native->SetReadOnly(m_readOnly);
    m_native->SetVisible(IsVisibleInTree());
    m_native->SetEnabled(m_enabled);
    if (!m_rect.IsEmpty()) {
      m_native->SetRect(m_rect);
    }
    // The user clicked into the entry: it is the window's focused control from now on.
    m_native->SetFocusHandler([this] {
      if (m_manager != nullptr && !IsFocused()) {
        m_manager->SetFocusByPointer(this);
      }
    });
    m_native->SetChangeHandler([this] {
      if (m_manager != nullptr) {
        m_manager->SendNotify(this, L"textchanged");
      }
    });
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
  // A new parent may be hidden.
  VisibilityChanged();
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

void CEditUI::SetEnabled(bool enabled) {
  CControlUI::SetEnabled(enabled);
  if (m_native) {
    m_native->SetEnabled(enabled);
  }
}

void CEditUI::VisibilityChanged() {
  if (m_native) {
    m_native->SetVisible(IsVisibleInTree());
  }
}

void CEditUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEVENT_SETFOCUS && m_native) {
    m_native->SetFocus();
  } else if (event.Type == UIEVENT_KILLFOCUS && m_native) {
    m_native->KillFocus();
  } else if (event.Type == UIEVENT_KEYDOWN && event.wParam == VK_RETURN) {
    if (m_manager != nullptr && m_enabled && IsVisibleInTree()) {
      m_manager->SendNotify(this, L"return");
    }
    return;
  }
  CControlUI::DoEvent(event);
}

// A text field shows its focus however it got it: the caret alone is easy to miss.
void CEditUI::PaintBorder(cairo_t* cr) {
  CControlUI::PaintBorder(cr);
  if (IsFocused()) {
    CRenderEngine::DrawRect(cr, m_rect, kFocusRingWidth, kFocusRingColor, m_borderRound);
  }
}
