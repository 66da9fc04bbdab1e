#pragma once

// Drawing with Cairo and Pango: lines, fills, borders, text and skin images.

#include <cairo.h>

#include <cstdint>
#include <string>

#include "uilib/ui_types.h"

struct TextStyle {
  std::string family = "Sans";
  int pixelSize = 13;
  bool bold = false;
  unsigned align = 0;  // DT_LEFT, DT_CENTER or DT_RIGHT
};

class CRenderEngine {
 public:
  // A line `width` pixels wide from (left, top) to (right, bottom) of `rect`.
  static void DrawLine(cairo_t* cr, const RECT& rect, int width, uint32_t color);
  static void DrawColor(cairo_t* cr, const RECT& rect, uint32_t color, int round = 0);
  static void DrawRect(cairo_t* cr, const RECT& rect, int width, uint32_t color, int round = 0);
  // One line of text, vertically centred, cut with an ellipsis when it does not fit.
  static void DrawText(cairo_t* cr, const RECT& rect, const std::wstring& text, uint32_t color,
                       const TextStyle& style);
  static SIZE MeasureText(const std::wstring& text, const TextStyle& style);
  // A PNG image of the skin archive scaled into `rect`; false when there is no such image.
  static bool DrawImage(cairo_t* cr, const RECT& rect, const std::string& file);
  // The image drawn for `file` at `scale` device pixels per pixel: "name@2x.png" from 1.5 on
  // when the skin has it, else the file itself.
  static std::string ImageForScale(const std::string& file, double scale);
  // The desktop's text scale (1 = normal): every font size of the layouts is multiplied by it.
  static void SetTextScale(double scale);
  static double GetTextScale();
};
