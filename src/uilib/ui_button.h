#pragma once

// Buttons and options. A button looks hot under the mouse and pushed while pressed, takes the
// keyboard focus (Tab), and a click, Space or Enter sends "click". An option is a button with a
// selected state: a check box, or one of a group of which one is selected; changing the state
// sends "selectchanged".

#include <string>

#include "uilib/ui_label.h"

class CButtonUI : public CLabelUI {
 public:
  std::wstring GetClass() const override;
  bool IsFocusable() const override { return m_enabled; }
  bool SetAttribute(std::string_view name, std::string_view value) override;
  static const AttributeTable<CButtonUI>& Attributes();
  void DoEvent(TEventUI& event) override;
  void Activate() override;

 protected:
  void PaintBkColor(cairo_t* cr) override;
  void PaintStatusImage(cairo_t* cr) override;
  void PaintText(cairo_t* cr) override;
  void PaintBorder(cairo_t* cr) override;
  uint32_t CurrentTextColor() const;

  uint32_t m_hotBkColor = 0;
  uint32_t m_pushedBkColor = 0;
  uint32_t m_hotTextColor = 0;
  uint32_t m_focusBorderColor = 0xFF4A90E2;
  std::string m_normalImage;
  std::string m_hotImage;
  std::string m_pushedImage;
};

class COptionUI : public CButtonUI {
 public:
  ~COptionUI() override;
  std::wstring GetClass() const override;
  bool SetAttribute(std::string_view name, std::string_view value) override;
  static const AttributeTable<COptionUI>& Attributes();
  void Activate() override;

  bool IsSelected() const { return m_selected; }
  // Changes the state. Sends "selectchanged" when it changes (unless `notify` is false); in a
  // group, only the option that becomes selected sends it.
  void Selected(bool selected, bool notify = true);
  const std::wstring& GetGroup() const { return m_group; }

 protected:
  void PaintBkColor(cairo_t* cr) override;
  void PaintStatusImage(cairo_t* cr) override;
  void PaintText(cairo_t* cr) override;

  bool m_selected = false;
  bool m_checkBox = true;  // draws a box before the text
  std::wstring m_group;
  uint32_t m_selectedBkColor = 0;
  uint32_t m_selectedTextColor = 0;
  uint32_t m_checkColor = 0xFF2F80ED;
  std::string m_selectedImage;
};
