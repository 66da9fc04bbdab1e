#include "skin/scrambled_text.h"

#include <cstdlib>
#include <vector>

#include "platform/code_page.h"

namespace {

constexpr uint32_t kKeyMultiplier = 0x1E67;
constexpr uint32_t kKeySubtrahend = 0x2B49;

uint8_t KeyMask(uint32_t key) {
  return static_cast<uint8_t>(key >> 5);
}

// The next key, moved on from the plain (unscrambled) byte taken as a signed 8-bit value.
uint32_t NextKey(uint32_t key, uint8_t plain) {
  const uint32_t sum =
      static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(plain))) + key;
  return (sum * kKeyMultiplier - kKeySubtrahend) & 0xFFFF;
}

// One pair of characters read as strtol reads base-16 text; only the low 8 bits count.
uint8_t ParseHexPair(const std::string& ansi, size_t i) {
  char pair[3] = {ansi[i], i + 1 < ansi.size() ? ansi[i + 1] : '\0', '\0'};
  return static_cast<uint8_t>(std::strtol(pair, nullptr, 16));
}

}  // namespace

std::wstring UnscrambleText(std::wstring hexText, uint32_t key) {
  if (hexText.empty()) {
    return {};
  }
  std::string ansi = WideToAnsi(hexText);
  if (ansi.size() > kScrambledHexMaxBytes) {
    ansi.resize(kScrambledHexMaxBytes);
  }
  std::vector<uint8_t> bytes;
  bytes.reserve(ansi.size() / 2 + 1);
  for (size_t i = 0; i < ansi.size(); i += 2) {
    bytes.push_back(ParseHexPair(ansi, i));
  }
  // With an odd number of digits the last byte stands alone and stays as it was read.
  const size_t scrambled = ansi.size() / 2;
  for (size_t i = 0; i < scrambled; ++i) {
    bytes[i] ^= KeyMask(key);
    key = NextKey(key, bytes[i]);
  }
  std::string text(bytes.begin(), bytes.end());
  text.resize(std::min(text.find('\0'), text.size()));
  std::wstring message = AnsiToWide(text);
  if (message.size() > kUnscrambledMaxUnits) {
    message.resize(kUnscrambledMaxUnits);
  }
  return message;
}

std::string ScrambleText(std::string_view plain, uint32_t key) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(plain.size() * 2);
  for (char c : plain) {
    const uint8_t byte = static_cast<uint8_t>(c);
    const uint8_t out = byte ^ KeyMask(key);
    hex.push_back(kDigits[out >> 4]);
    hex.push_back(kDigits[out & 0x0F]);
    key = NextKey(key, byte);
  }
  return hex;
}
