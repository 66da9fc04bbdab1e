#pragma once

// Message texts stored as hexadecimal digits of their scrambled bytes.
//
// Each byte of the text (in the process code page) is XORed with bits 5..12 of a 16-bit key; the
// key then moves on from the plain byte: key = ((int8_t)plain + key) * 0x1E67 - 0x2B49 (mod 2^16).
// The key starts at the seed. UnscrambleText undoes this just before a message is shown.

#include <cstdint>
#include <string>
#include <string_view>

// The seed every stored notice is scrambled with.
constexpr uint32_t kScrambleSeed = 0x5C2D;
// Hex digits taken from a stored text at most, and wide units returned at most.
constexpr size_t kScrambledHexMaxBytes = 512;
constexpr size_t kUnscrambledMaxUnits = 511;

// Turns a stored text back into the message. Never fails: bad digits or a wrong seed give a
// shorter or garbled text.
std::wstring UnscrambleText(std::wstring hexText, uint32_t key);

// The stored form of `plain` (bytes of the process code page): two upper-case hex digits a byte.
std::string ScrambleText(std::string_view plain, uint32_t key);
