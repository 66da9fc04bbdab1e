#include "uilib/ui_label.h"

std::wstring CLabelUI::GetClass() const {
  return L"LabelUI";
}

void CLabelUI::PaintText(cairo_t* cr) {
  DrawText(cr, m_text, m_enabled ? m_textColor : m_disabledTextColor, m_rect);
}

std::wstring CTextUI::GetClass() const {
  return L"TextUI";
}
