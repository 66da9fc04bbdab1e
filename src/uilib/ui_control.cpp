#include "uilib/ui_control.h"

#include <map>

#include "platform/code_page.h"
#include "uilib/paint_manager.h"
#include "uilib/render_engine.h"

bool ParseBool(std::string_view text, bool* value) {
  if (text == "true") {
    *value = true;
    return true;
  }
  if (text == "false") {
    *value = false;
    return true;
  }
  return false;
}

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

const AttributeTable<CControlUI>& CControlUI::Attributes() {
  using namespace attribute;
  using Control = CControlUI;
  static const AttributeTable<Control> table = {
      {"name", WideText<Control>(&Control::SetName)},
      {"text", WideText<Control>(&Control::SetText)},
      {"userdata", WideText<Control>(&Control::SetUserData)},
      {"width",
       [](Control& c, std::string_view v) {
         return ParseInts(v, &c.m_fixed.cx, 1) && c.m_fixed.cx >= 0;
       }},
      {"height",
       [](Control& c, std::string_view v) {
         return ParseInts(v, &c.m_fixed.cy, 1) && c.m_fixed.cy >= 0;
       }},
      {"padding", Box(&Control::m_padding)},
      {"textpadding", Box(&Control::m_textPadding)},
      {"bkcolor", Color(&Control::m_bkColor)},
      {"bordercolor", Color(&Control::m_borderColor)},
      {"bordersize", Number(&Control::m_borderSize, 0)},
      {"borderround", Number(&Control::m_borderRound, 0)},
      {"textcolor", Color(&Control::m_textColor)},
      {"disabledtextcolor", Color(&Control::m_disabledTextColor)},
      {"fontsize", Number(&Control::m_fontSize, 1)},
      {"bold", Flag(&Control::m_bold)},
      {"align",
       [](Control& c, std::string_view v) {
         static const std::map<std::string_view, unsigned> kAligns = {
             {"left", DT_LEFT}, {"center", DT_CENTER}, {"right", DT_RIGHT}};
         const auto it = kAligns.find(v);
         if (it == kAligns.end()) {
           return false;
         }
         c.m_textAlign = it->second;
         return true;
       }},
      {"bkimage", Text(&Control::m_bkImage)},
      {"visible", Flag(&Control::m_visible)},
      {"enabled", Flag(&Control::m_enabled)},
  };
  return table;
}

bool CControlUI::SetAttribute(std::string_view name, std::string_view value) {
  return Attributes().Apply(*this, name, value).value_or(false);
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
