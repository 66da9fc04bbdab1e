#include "picture.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <mutex>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kColours = 12;

struct Rgb {
  double r, g, b;
};

Rgb FromHue(double hue, double saturation, double value) {
  const double c = value * saturation;
  const double h = std::fmod(hue, 360.0) / 60.0;
  const double x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1));
  const double m = value - c;
  const int sector = static_cast<int>(h);
  const Rgb table[] = {{c, x, 0}, {x, c, 0}, {0, c, x}, {0, x, c}, {x, 0, c}, {c, 0, x}};
  const Rgb& t = table[sector % 6];
  return {t.r + m, t.g + m, t.b + m};
}

// Sky from dark to light, a sun, and two ridges of hills.
std::string Render(int colour) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, kWidth, kHeight);
  if (pixbuf == nullptr) {
    return {};
  }
  const double hue = 360.0 * colour / kColours;
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const double u = static_cast<double>(x) / kWidth;
      const double v = static_cast<double>(y) / kHeight;
      Rgb px = FromHue(hue + 20, 0.45, 0.55 + 0.4 * v);
      if (std::hypot(u - 0.72, v - 0.3) < 0.08) {
        px = {1.0, 0.92, 0.6};
      }
      if (v > 0.62 + 0.08 * std::sin(u * 7.0 + colour)) {
        px = FromHue(hue + 140, 0.5, 0.45);
      }
      if (v > 0.78 + 0.05 * std::sin(u * 11.0 + 2 * colour)) {
        px = FromHue(hue + 160, 0.6, 0.3);
      }
      guchar* p = pixels + y * stride + x * 3;
      p[0] = static_cast<guchar>(std::lround(255 * std::clamp(px.r, 0.0, 1.0)));
      p[1] = static_cast<guchar>(std::lround(255 * std::clamp(px.g, 0.0, 1.0)));
      p[2] = static_cast<guchar>(std::lround(255 * std::clamp(px.b, 0.0, 1.0)));
    }
  }
  gchar* buffer = nullptr;
  gsize length = 0;
  const bool saved = gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &length, "jpeg", nullptr, "quality",
                                               "85", nullptr);
  g_object_unref(pixbuf);
  std::string bytes = saved ? std::string(buffer, length) : std::string();
  g_free(buffer);
  return bytes;
}

}  // namespace

const std::string& PictureFor(const std::string& name) {
  static std::mutex mutex;
  static std::map<int, std::string> pictures;
  const int colour = static_cast<int>(std::hash<std::string>{}(name) % kColours);
  std::lock_guard<std::mutex> lock(mutex);
  auto found = pictures.find(colour);
  if (found == pictures.end()) {
    found = pictures.emplace(colour, Render(colour)).first;
  }
  return found->second;
}
