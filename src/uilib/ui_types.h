#pragma once

// Geometry, input messages and small helpers of the UI library.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win_types.h"

struct POINT {
  int x = 0;
  int y = 0;
};

struct SIZE {
  int cx = 0;
  int cy = 0;
};

struct RECT {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// A rectangle with the helpers the windows use.
class CRect : public RECT {
 public:
  CRect() = default;
  CRect(const RECT& rect) : RECT(rect) {}
  CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}

  int GetWidth() const { return right - left; }
  int GetHeight() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(POINT point) const {
    return point.x >= left && point.x < right && point.y >= top && point.y < bottom;
  }
  void Offset(int dx, int dy) {
    left += dx;
    right += dx;
    top += dy;
    bottom += dy;
  }
  // The overlap with `other`; empty when there is none.
  CRect Intersect(const RECT& other) const;
};

// Window size limits asked for with WM_GETMINMAXINFO.
struct MINMAXINFO {
  POINT ptReserved;
  POINT ptMaxSize;
  POINT ptMaxPosition;
  POINT ptMinTrackSize;
  POINT ptMaxTrackSize;
};

// Input and window messages the library delivers besides those of the window base.
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_MOUSELEAVE = 0x02A3;

// Virtual keys.
constexpr WPARAM VK_TAB = 0x09;
constexpr WPARAM VK_RETURN = 0x0D;
constexpr WPARAM VK_ESCAPE = 0x1B;
constexpr WPARAM VK_SPACE = 0x20;
constexpr WPARAM VK_PRIOR = 0x21;  // Page Up
constexpr WPARAM VK_NEXT = 0x22;   // Page Down
constexpr WPARAM VK_END = 0x23;
constexpr WPARAM VK_HOME = 0x24;
constexpr WPARAM VK_UP = 0x26;
constexpr WPARAM VK_DOWN = 0x28;

constexpr LPARAM MAKELPARAM(int low, int high) {
  return static_cast<LPARAM>(static_cast<uint32_t>(static_cast<uint16_t>(low)) |
                             (static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16));
}
// The signed 16-bit halves of a packed point.
constexpr int GET_X_LPARAM(LPARAM value) {
  return static_cast<int16_t>(static_cast<uint16_t>(value & 0xFFFF));
}
constexpr int GET_Y_LPARAM(LPARAM value) {
  return static_cast<int16_t>(static_cast<uint16_t>((value >> 16) & 0xFFFF));
}

// A colour 0xAARRGGBB, read from "#AARRGGBB" or "#RRGGBB" (opaque). False for anything else.
bool ParseColor(std::string_view text, uint32_t* color);
// Integers separated by commas: "1,2,3,4". False unless exactly `count` are given.
bool ParseInts(std::string_view text, int* values, int count);
