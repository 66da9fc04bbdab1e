#pragma once

// Small text helpers shared by the modules.

#include <string>

// `text` without leading and trailing spaces (U+0020 only; other white space stays).
inline std::wstring TrimSpaces(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L' ');
  if (first == std::wstring::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

// `text` cut to at most `units` wide units.
inline std::wstring AtMost(std::wstring text, size_t units) {
  if (text.size() > units) {
    text.resize(units);
  }
  return text;
}
