#include "uilib/ui_button.h"

#include "platform/code_page.h"
#include "uilib/paint_manager.h"
#include "uilib/render_engine.h"

namespace {

constexpr int kCheckBoxSize = 14;

}  // namespace

std::wstring CButtonUI::GetClass() const {
  return L"ButtonUI";
}

const AttributeTable<CButtonUI>& CButtonUI::Attributes() {
  using namespace attribute;
  static const AttributeTable<CButtonUI> table = {
      {"hotbkcolor", Color(&CButtonUI::m_hotBkColor)},
      {"pushedbkcolor", Color(&CButtonUI::m_pushedBkColor)},
      {"hottextcolor", Color(&CButtonUI::m_hotTextColor)},
      {"focusbordercolor", Color(&CButtonUI::m_focusBorderColor)},
      {"normalimage", Text(&CButtonUI::m_normalImage)},
      {"hotimage", Text(&CButtonUI::m_hotImage)},
      {"pushedimage", Text(&CButtonUI::m_pushedImage)},
  };
  return table;
}

bool CButtonUI::SetAttribute(std::string_view name, std::string_view value) {
  return Attributes().ApplyOrBase<CLabelUI>(*this, name, value);
}

void CButtonUI::DoEvent(TEventUI& event) {
  if (!m_enabled) {
    CLabelUI::DoEvent(event);
    return;
  }
  switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
      m_pushed = true;
      Invalidate();
      break;
    case UIEVENT_BUTTONUP:
      if (m_pushed) {
        m_pushed = false;
        Invalidate();
        if (m_rect.Contains(event.ptMouse)) {
          Activate();
        }
      }
      break;
    case UIEVENT_KEYDOWN:
      if (event.wParam == VK_SPACE || event.wParam == VK_RETURN) {
        Activate();
      } else {
        CLabelUI::DoEvent(event);
      }
      break;
    default:
      CLabelUI::DoEvent(event);
      break;
  }
}

// A hidden or disabled control does nothing, whoever asks.
void CButtonUI::Activate() {
  if (m_manager != nullptr && m_enabled && IsVisibleInTree()) {
    m_manager->SendNotify(this, L"click");
  }
}

void CButtonUI::PaintBkColor(cairo_t* cr) {
  uint32_t color = m_bkColor;
  if (m_pushed && m_pushedBkColor != 0) {
    color = m_pushedBkColor;
  } else if ((m_hot || m_pushed) && m_hotBkColor != 0) {
    color = m_hotBkColor;
  }
  CRenderEngine::DrawColor(cr, m_rect, color, m_borderRound);
}

void CButtonUI::PaintStatusImage(cairo_t* cr) {
  const std::string* image = &m_normalImage;
  if (m_pushed && !m_pushedImage.empty()) {
    image = &m_pushedImage;
  } else if ((m_hot || m_pushed) && !m_hotImage.empty()) {
    image = &m_hotImage;
  }
  if (!image->empty()) {
    CRenderEngine::DrawImage(cr, m_rect, *image);
  }
}

uint32_t CButtonUI::CurrentTextColor() const {
  if (!m_enabled) {
    return m_disabledTextColor;
  }
  if ((m_hot || m_pushed) && m_hotTextColor != 0) {
    return m_hotTextColor;
  }
  return m_textColor;
}

void CButtonUI::PaintText(cairo_t* cr) {
  DrawText(cr, m_text, CurrentTextColor(), m_rect);
}

void CButtonUI::PaintBorder(cairo_t* cr) {
  CLabelUI::PaintBorder(cr);
  if (IsFocused() && m_manager != nullptr && m_manager->ShowsFocus()) {
    CRect ring = m_rect;
    CRenderEngine::DrawRect(cr, ring, 2, m_focusBorderColor, m_borderRound);
  }
}

COptionUI::~COptionUI() = default;

std::wstring COptionUI::GetClass() const {
  return L"OptionUI";
}

const AttributeTable<COptionUI>& COptionUI::Attributes() {
  using namespace attribute;
  static const AttributeTable<COptionUI> table = {
      {"selected", Flag(&COptionUI::m_selected)},
      {"group", WideText<COptionUI>([](COptionUI& option, std::wstring group) {
         option.m_group = std::move(group);
       })},
      {"checkbox", Flag(&COptionUI::m_checkBox)},
      {"selectedbkcolor", Color(&COptionUI::m_selectedBkColor)},
      {"selectedtextcolor", Color(&COptionUI::m_selectedTextColor)},
      {"checkcolor", Color(&COptionUI::m_checkColor)},
      {"selectedimage", Text(&COptionUI::m_selectedImage)},
  };
  return table;
}

bool COptionUI::SetAttribute(std::string_view name, std::string_view value) {
  return Attributes().ApplyOrBase<CButtonUI>(*this, name, value);
}

void COptionUI::Activate() {
  if (!m_enabled || !IsVisibleInTree()) {
    return;
  }
  CButtonUI::Activate();  // "click" first
  // In a group the clicked option becomes the selected one; alone it toggles.
  Selected(m_group.empty() ? !m_selected : true);
}

void COptionUI::Selected(bool selected, bool notify) {
  if (m_selected == selected) {
    return;
  }
  m_selected = selected;
  Invalidate();
  if (m_group.empty()) {
    if (notify && m_manager != nullptr) {
      m_manager->SendNotify(this, L"selectchanged");
    }
    return;
  }
  // In a group only the option that becomes selected reports, after the others let go.
  if (m_selected && m_manager != nullptr) {
    m_manager->ForEachControl([this](CControlUI* control) {
      auto* other = dynamic_cast<COptionUI*>(control);
      if (other != nullptr && other != this && other->m_group == m_group) {
        other->Selected(false);
      }
    });
    if (notify) {
      m_manager->SendNotify(this, L"selectchanged");
    }
  }
}

void COptionUI::PaintBkColor(cairo_t* cr) {
  if (m_selected && m_selectedBkColor != 0) {
    CRenderEngine::DrawColor(cr, m_rect, m_selectedBkColor, m_borderRound);
    return;
  }
  CButtonUI::PaintBkColor(cr);
}

void COptionUI::PaintStatusImage(cairo_t* cr) {
  if (m_selected && !m_selectedImage.empty()) {
    CRenderEngine::DrawImage(cr, m_rect, m_selectedImage);
    return;
  }
  CButtonUI::PaintStatusImage(cr);
  if (!m_checkBox) {
    return;
  }
  const int top = m_rect.top + (m_rect.GetHeight() - kCheckBoxSize) / 2;
  const CRect box(m_rect.left + m_textPadding.left, top,
                  m_rect.left + m_textPadding.left + kCheckBoxSize, top + kCheckBoxSize);
  CRenderEngine::DrawColor(cr, box, 0xFFFFFFFF, 3);
  CRenderEngine::DrawRect(cr, box, 1, m_selected ? m_checkColor : 0xFF9AA0A6, 3);
  if (m_selected) {
    CRenderEngine::DrawColor(cr, box, m_checkColor, 3);
    cairo_save(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 2);
    cairo_move_to(cr, box.left + 3, box.top + 7);
    cairo_line_to(cr, box.left + 6, box.top + 10);
    cairo_line_to(cr, box.left + 11, box.top + 4);
    cairo_stroke(cr);
    cairo_restore(cr);
  }
}

void COptionUI::PaintText(cairo_t* cr) {
  uint32_t color = CurrentTextColor();
  if (m_selected && m_selectedTextColor != 0 && m_enabled) {
    color = m_selectedTextColor;
  }
  CRect textRect = m_rect;
  if (m_checkBox && m_selectedImage.empty()) {
    textRect.left += kCheckBoxSize + 6;
  }
  DrawText(cr, m_text, color, textRect);
}
