#pragma once

// The process code page ("the system ANSI code page") and conversions between it and wide text.
//
// The code page is the character set of the locale (nl_langinfo(CODESET) after the program's
// setlocale(LC_ALL, "")); an ASCII-only or unset locale counts as UTF-8. Every conversion between
// byte strings from the web service and wide text goes through AnsiToWide and WideToAnsi, which
// convert with iconv. Like the system conversions they stand for, they never fail outright: a
// character that the target cannot hold becomes '?' (to the code page) or U+FFFD (to wide text).

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// Size of the fixed narrow path fields of the download worker.
constexpr size_t kAnsiFieldBytes = 260;
using AnsiField = std::array<char, kAnsiFieldBytes>;

// The iconv name of the process code page, decided on first use.
std::string ProcessCodePage();

// Replaces the process code page; an empty name goes back to the locale's. Meant for the entry
// point and for tests; conversions already running keep the page they started with.
void SetProcessCodePage(std::string iconvName);

// Converts a zero-terminated text of the process code page (the view ends at its first zero byte,
// if any) to wide text.
std::wstring AnsiToWide(std::string_view ansi);

// Writes the wide form of `ansi` into `target`: exactly the converted units and no terminator, at
// most `capacity` of them (the caller zero-fills a buffer large enough). Returns the units written.
size_t AnsiToWide(std::string_view ansi, wchar_t* target, size_t capacity);

// Converts wide text (up to its first zero unit) to the process code page.
std::string WideToAnsi(std::wstring_view text);

// Fills a 260-byte field with `text` in the process code page. The field is zero-filled first and
// no terminator is written by the conversion. A text whose conversion would not leave room for the
// terminating zero leaves the field all zero and returns false: a cut path would name another file.
bool WideToAnsi(std::wstring_view text, AnsiField& target);

// Conversions between wide text and UTF-8, the encoding of file names and of web addresses on
// this system. Invalid input is replaced as above.
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);

// Length of the longest prefix of `text` that is at most `maxBytes` long and does not end inside a
// character of the process code page. A byte that starts no valid character counts as one.
size_t AnsiPrefixLength(std::string_view text, size_t maxBytes);
