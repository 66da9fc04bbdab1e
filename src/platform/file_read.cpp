#include "platform/file_read.h"

#include <fstream>
#include <new>
#include <system_error>

#include "platform/file_path.h"

std::optional<std::string> ReadWholeFile(std::wstring_view path, uintmax_t maxBytes) {
  std::ifstream in(FsPath(path), std::ios::binary | std::ios::ate);
  if (!in) {
    return std::nullopt;
  }
  const std::streamoff size = in.tellg();
  if (size <= 0 || static_cast<uintmax_t>(size) > maxBytes) {
    return std::nullopt;
  }
  try {
    std::string bytes(static_cast<size_t>(size), '\0');
    in.seekg(0);
    in.read(bytes.data(), size);
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (bytes.empty()) {
      return std::nullopt;
    }
    return bytes;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  } catch (const std::length_error&) {
    return std::nullopt;
  }
}

std::optional<std::string> ReadTextFile(std::wstring_view path, uintmax_t maxBytes) {
  std::optional<std::string> bytes = ReadWholeFile(path, maxBytes);
  if (!bytes) {
    return std::nullopt;
  }
  std::string text;
  text.reserve(bytes->size());
  for (size_t i = 0; i < bytes->size() && (*bytes)[i] != '\0'; ++i) {
    if ((*bytes)[i] == '\r' && i + 1 < bytes->size() && (*bytes)[i + 1] == '\n') {
      continue;  // the LF that follows stands for the pair
    }
    text.push_back((*bytes)[i]);
  }
  if (text.empty()) {
    return std::nullopt;
  }
  return text;
}
