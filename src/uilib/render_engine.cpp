#include "uilib/render_engine.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <atomic>
#include <cmath>

#include "platform/code_page.h"
#include "uilib/resources.h"

namespace {

void SetColor(cairo_t* cr, uint32_t color) {
  cairo_set_source_rgba(cr, ((color >> 16) & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                        (color & 0xFF) / 255.0, ((color >> 24) & 0xFF) / 255.0);
}

void RoundedPath(cairo_t* cr, double x, double y, double w, double h, double r) {
  if (r <= 0) {
    cairo_rectangle(cr, x, y, w, h);
    return;
  }
  r = std::min(r, std::min(w, h) / 2);
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

std::atomic<double> g_textScale{1.0};

PangoLayout* MakeLayout(cairo_t* cr, const std::wstring& text, const TextStyle& style) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* font = pango_font_description_from_string(style.family.c_str());
  // Layouts give sizes in pixels at the normal text size; the desktop's text scale enlarges them.
  pango_font_description_set_absolute_size(font, style.pixelSize * g_textScale * PANGO_SCALE);
  pango_font_description_set_weight(font, style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  const std::string utf8 = WideToUtf8(text);
  pango_layout_set_text(layout, utf8.c_str(), static_cast<int>(utf8.size()));
  pango_layout_set_single_paragraph_mode(layout, TRUE);
  return layout;
}

}  // namespace

void CRenderEngine::DrawLine(cairo_t* cr, const RECT& rect, int width, uint32_t color) {
  cairo_save(cr);
  SetColor(cr, color);
  cairo_set_line_width(cr, width);
  // Lines of odd width sit on pixel centres, so a 1-pixel line covers one pixel column exactly.
  const double half = (width % 2 == 1) ? 0.5 : 0.0;
  cairo_move_to(cr, rect.left + half, rect.top + half);
  cairo_line_to(cr, rect.right + half, rect.bottom + half);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void CRenderEngine::DrawColor(cairo_t* cr, const RECT& rect, uint32_t color, int round) {
  if ((color >> 24) == 0) {
    return;
  }
  cairo_save(cr);
  SetColor(cr, color);
  RoundedPath(cr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, round);
  cairo_fill(cr);
  cairo_restore(cr);
}

void CRenderEngine::DrawRect(cairo_t* cr, const RECT& rect, int width, uint32_t color, int round) {
  if (width <= 0 || (color >> 24) == 0) {
    return;
  }
  cairo_save(cr);
  SetColor(cr, color);
  cairo_set_line_width(cr, width);
  const double inset = width / 2.0;
  RoundedPath(cr, rect.left + inset, rect.top + inset, rect.right - rect.left - width,
              rect.bottom - rect.top - width, round);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void CRenderEngine::DrawText(cairo_t* cr, const RECT& rect, const std::wstring& text,
                             uint32_t color, const TextStyle& style) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (text.empty() || width <= 0 || height <= 0) {
    return;
  }
  cairo_save(cr);
  cairo_rectangle(cr, rect.left, rect.top, width, height);
  cairo_clip(cr);
  PangoLayout* layout = MakeLayout(cr, text, style);
  pango_layout_set_width(layout, width * PANGO_SCALE);
  pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  pango_layout_set_alignment(layout, style.align == 1   ? PANGO_ALIGN_CENTER
                                     : style.align == 2 ? PANGO_ALIGN_RIGHT
                                                        : PANGO_ALIGN_LEFT);
  int textWidth = 0;
  int textHeight = 0;
  pango_layout_get_pixel_size(layout, &textWidth, &textHeight);
  SetColor(cr, color);
  cairo_move_to(cr, rect.left, rect.top + (height - textHeight) / 2.0);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
  cairo_restore(cr);
}

SIZE CRenderEngine::MeasureText(const std::wstring& text, const TextStyle& style) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cairo_t* cr = cairo_create(surface);
  PangoLayout* layout = MakeLayout(cr, text, style);
  SIZE size;
  pango_layout_get_pixel_size(layout, &size.cx, &size.cy);
  g_object_unref(layout);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return size;
}

void CRenderEngine::SetTextScale(double scale) {
  g_textScale = std::clamp(scale, 0.5, 4.0);
}

double CRenderEngine::GetTextScale() {
  return g_textScale;
}

std::string CRenderEngine::ImageForScale(const std::string& file, double scale) {
  if (scale < 1.5) {
    return file;
  }
  const size_t dot = file.rfind('.');
  const std::string sharp =
      dot == std::string::npos ? file + "@2x" : file.substr(0, dot) + "@2x" + file.substr(dot);
  return SkinResources::Image(sharp) != nullptr ? sharp : file;
}

bool CRenderEngine::DrawImage(cairo_t* cr, const RECT& rect, const std::string& file) {
  // On a display of two device pixels per pixel, an image the skin ships at twice the size
  // ("name@2x.png") is drawn instead, so it stays sharp.
  double scaleX = 1;
  double scaleY = 1;
  cairo_surface_get_device_scale(cairo_get_target(cr), &scaleX, &scaleY);
  cairo_surface_t* image = SkinResources::Image(ImageForScale(file, std::max(scaleX, scaleY)));
  if (image == nullptr) {
    return false;
  }
  const int width = cairo_image_surface_get_width(image);
  const int height = cairo_image_surface_get_height(image);
  if (width <= 0 || height <= 0 || rect.right <= rect.left || rect.bottom <= rect.top) {
    return false;
  }
  cairo_save(cr);
  cairo_translate(cr, rect.left, rect.top);
  cairo_scale(cr, static_cast<double>(rect.right - rect.left) / width,
              static_cast<double>(rect.bottom - rect.top) / height);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
  return true;
}
