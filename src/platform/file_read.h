#pragma once

// Whole-file reads. Both return the bytes in a std::string, which always has a zero byte after
// its last character (c_str), so a text can be handed on as a zero-terminated string.

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

// The file's bytes as they are on disk; nothing when it cannot be read, is empty or is longer than
// `maxBytes`.
std::optional<std::string> ReadWholeFile(
    std::wstring_view path, uintmax_t maxBytes = std::numeric_limits<uintmax_t>::max());

// The file as text: CR LF pairs become LF (Linux has no text mode to do it) and the text ends at
// its first zero byte; nothing when it cannot be read, the text is empty or the file is longer
// than `maxBytes`.
std::optional<std::string> ReadTextFile(std::wstring_view path,
                                        uintmax_t maxBytes = std::numeric_limits<uintmax_t>::max());
