#include "uilib/ui_control.h"

#include "platform/code_page.h"
#include "uilib/paint_manager.h"
#include "uilib/render_engine.h"

namespace {

bool ParseBool(std::string_view value, bool* out) {
  if (value == "true") {
    *out = true;
    return true;
  }
  if (value == "false") {
    *out = false;
    return true;
  }
  return false;
}

bool ParseInt(std::string_view value, int* out) {
  return ParseInts(value, out, 1);
}

}  // namespace

CControlUI::CControlUI() : m_padding{}, m_textPadding{4, 0, 4, 0} {}

CControlUI::~CControlUI() {
  if (m_manager != nullptr) {
    m_manager->ReapControl(this);
  }
}

std::wstring CControlUI::GetClass() const {
  return L"ControlUI";
}

void CControlUI::SetName(std::wstring name) {
  if (m_manager != nullptr) {
    m_manager->RenameControl(this, m_name, name);
  }
  m_name = std::move(name);
}

std::wstring CControlUI::GetText() const {
  return m_text;
}

void CControlUI::SetText(const std::wstring& text) {
  if (m_text == text) {
    return;
  }
  m_text = text;
  Invalidate();
}

void CControlUI::SetManager(CPaintManagerUI* manager, CControlUI* parent) {
  if (m_manager != nullptr && m_manager != manager) {
    m_manager->ReapControl(this);
  }
  m_manager = manager;
  m_parent = parent;
  if (m_manager != nullptr) {
    m_manager->AdoptControl(this);
  }
}

void CControlUI::SetVisible(bool visible) {
  if (m_visible == visible) {
    return;
  }
  m_visible = visible;
  if (!visible && m_manager != nullptr && Holds(m_manager->GetFocus())) {
    m_manager->SetFocus(nullptr);
  }
  ForEach([](CControlUI* control) { control->VisibilityChanged(); });
  NeedParentUpdate();
}

bool CControlUI::IsVisibleInTree() const {
  for (const CControlUI* control = this; control != nullptr; control = control->m_parent) {
    if (!control->m_visible) {
      return false;
    }
  }
  return true;
}

void CControlUI::SetEnabled(bool enabled) {
  m_enabled = enabled;
  if (!enabled && IsFocused()) {
    m_manager->SetFocus(nullptr);
  }
  Invalidate();
}

bool CControlUI::IsFocused() const {
  return m_manager != nullptr && m_manager->GetFocus() == this;
}

bool CControlUI::Holds(const CControlUI* control) const {
  for (; control != nullptr; control = control->m_parent) {
    if (control == this) {
      return true;
    }
  }
  return false;
}

void CControlUI::SetFocus() {
  if (m_manager != nullptr) {
    m_manager->SetFocus(this);
  }
}

void CControlUI::SetPos(const RECT& rect) {
  Invalidate();
  m_rect = rect;
  Invalidate();
}

SIZE CControlUI::EstimateSize(SIZE) {
  return m_fixed;
}

void CControlUI::SetBkColor(uint32_t color) {
  m_bkColor = color;
  Invalidate();
}

int CControlUI::GetFontSize() const {
  if (m_fontSize > 0) {
    return m_fontSize;
  }
  return m_manager != nullptr ? m_manager->GetDefaultFontSize() : 13;
}

bool CControlUI::SetAttribute(std::string_view name, std::string_view value) {
  int numbers[4];
  if (name == "name") {
    SetName(Utf8ToWide(value));
  } else if (name == "text") {
    SetText(Utf8ToWide(value));
  } else if (name == "userdata") {
    SetUserData(Utf8ToWide(value));
  } else if (name == "width") {
    return ParseInt(value, &m_fixed.cx) && m_fixed.cx >= 0;
  } else if (name == "height") {
    return ParseInt(value, &m_fixed.cy) && m_fixed.cy >= 0;
  } else if (name == "padding") {
    if (!ParseInts(value, numbers, 4)) {
      return false;
    }
    m_padding = {numbers[0], numbers[1], numbers[2], numbers[3]};
  } else if (name == "textpadding") {
    if (!ParseInts(value, numbers, 4)) {
      return false;
    }
    m_textPadding = {numbers[0], numbers[1], numbers[2], numbers[3]};
  } else if (name == "bkcolor") {
    return ParseColor(value, &m_bkColor);
  } else if (name == "bordercolor") {
    return ParseColor(value, &m_borderColor);
  } else if (name == "bordersize") {
    return ParseInt(value, &m_borderSize) && m_borderSize >= 0;
  } else if (name == "borderround") {
    return ParseInt(value, &m_borderRound) && m_borderRound >= 0;
  } else if (name == "textcolor") {
    return ParseColor(value, &m_textColor);
  } else if (name == "disabledtextcolor") {
    return ParseColor(value, &m_disabledTextColor);
  } else if (name == "fontsize") {
    return ParseInt(value, &m_fontSize) && m_fontSize > 0;
  } else if (name == "bold") {
    return ParseBool(value, &m_bold);
  } else if (name == "align") {
    if (value == "left") {
      m_textAlign = DT_LEFT;
    } else if (value == "center") {
      m_textAlign = DT_CENTER;
    } else if (value == "right") {
      m_textAlign = DT_RIGHT;
    } else {
      return false;
    }
  } else if (name == "bkimage") {
    m_bkImage = std::string(value);
  } else if (name == "visible") {
    return ParseBool(value, &m_visible);
  } else if (name == "enabled") {
    return ParseBool(value, &m_enabled);
  } else {
    return false;
  }
  return true;
}

CControlUI* CControlUI::FindControlAt(POINT point) {
  if (!m_visible || !m_rect.Contains(point)) {
    return nullptr;
  }
  return this;
}

void CControlUI::ForEach(const std::function<void(CControlUI*)>& visit) {
  visit(this);
}

void CControlUI::DoPaint(cairo_t* cr, const RECT& clip) {
  if (m_rect.Intersect(clip).IsEmpty()) {
    return;
  }
  PaintBkColor(cr);
  PaintBkImage(cr);
  PaintStatusImage(cr);
  PaintText(cr);
  PaintBorder(cr);
}

void CControlUI::PaintBkColor(cairo_t* cr) {
  CRenderEngine::DrawColor(cr, m_rect, m_bkColor, m_borderRound);
}

void CControlUI::PaintBkImage(cairo_t* cr) {
  if (!m_bkImage.empty()) {
    CRenderEngine::DrawImage(cr, m_rect, m_bkImage);
  }
}

void CControlUI::PaintStatusImage(cairo_t*) {}

void CControlUI::PaintText(cairo_t*) {}

void CControlUI::PaintBorder(cairo_t* cr) {
  CRenderEngine::DrawRect(cr, m_rect, m_borderSize, m_borderColor, m_borderRound);
}

void CControlUI::DrawText(cairo_t* cr, const std::wstring& text, uint32_t color,
                          const RECT& rect) const {
  TextStyle style;
  style.family = m_manager != nullptr ? m_manager->GetDefaultFontFamily() : "Sans";
  style.pixelSize = GetFontSize();
  style.bold = m_bold;
  style.align = m_textAlign;
  const RECT inner{rect.left + m_textPadding.left, rect.top + m_textPadding.top,
                   rect.right - m_textPadding.right, rect.bottom - m_textPadding.bottom};
  CRenderEngine::DrawText(cr, inner, text, color, style);
}

void CControlUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_MOUSEENTER:
      m_hot = true;
      Invalidate();
      break;
    case UIEVENT_MOUSELEAVE:
      m_hot = false;
      m_pushed = false;
      Invalidate();
      break;
    case UIEVENT_SETFOCUS:
    case UIEVENT_KILLFOCUS:
      Invalidate();
      break;
    case UIEVENT_TIMER:
      if (m_manager != nullptr) {
        m_manager->SendNotify(this, L"timer", event.wParam, event.lParam);
      }
      break;
    default:
      // Wheel and keys a control does not use go to its parent: the wheel and the arrow keys
      // scroll a list from a row.
      if (m_parent != nullptr &&
          (event.Type == UIEVENT_SCROLLWHEEL || event.Type == UIEVENT_KEYDOWN)) {
        m_parent->DoEvent(event);
      }
      break;
  }
}

void CControlUI::Invalidate() {
  if (m_manager != nullptr && !m_rect.IsEmpty()) {
    m_manager->Invalidate(m_rect);
  }
}

void CControlUI::NeedParentUpdate() {
  if (m_manager != nullptr) {
    m_manager->NeedUpdate();
  }
}
