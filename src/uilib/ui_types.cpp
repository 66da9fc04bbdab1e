#include "uilib/ui_types.h"

#include <algorithm>
#include <cstdlib>
#include <string>

CRect CRect::Intersect(const RECT& other) const {
  CRect result(std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
               std::min(bottom, other.bottom));
  if (result.IsEmpty()) {
    return CRect();
  }
  return result;
}

bool ParseColor(std::string_view text, uint32_t* color) {
  if (text.empty() || text[0] != '#' || (text.size() != 7 && text.size() != 9)) {
    return false;
  }
  uint32_t value = 0;
  for (char c : text.substr(1)) {
    int digit = -1;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    }
    if (digit < 0) {
      return false;
    }
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  *color = text.size() == 7 ? (0xFF000000u | value) : value;
  return true;
}

bool ParseInts(std::string_view text, int* values, int count) {
  const std::string copy(text);
  const char* p = copy.c_str();
  for (int i = 0; i < count; ++i) {
    char* end = nullptr;
    const long value = std::strtol(p, &end, 10);
    if (end == p || value < -100000 || value > 100000) {
      return false;
    }
    values[i] = static_cast<int>(value);
    p = end;
    while (*p == ' ') {
      ++p;
    }
    if (i + 1 < count) {
      if (*p != ',') {
        return false;
      }
      ++p;
    }
  }
  return *p == '\0';
}
