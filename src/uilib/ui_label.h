#pragma once

// Text controls: a label draws its text; a text control ("TextUI") is a label that stays
// clickable in a window's caption band.

#include "uilib/ui_control.h"

class CLabelUI : public CControlUI {
 public:
  std::wstring GetClass() const override;

 protected:
  void PaintText(cairo_t* cr) override;
};

class CTextUI : public CLabelUI {
 public:
  std::wstring GetClass() const override;
};
