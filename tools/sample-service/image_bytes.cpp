#include "image_bytes.h"

#include <algorithm>

#include "picture.h"

const std::string& PictureOfImage(const std::string& path, size_t size) {
  static const std::string kNone;
  const std::string& picture = PictureFor(path);
  return picture.size() > size ? kNone : picture;
}

const std::string& PatternBlock() {
  static const std::string block = [] {
    std::string bytes(1 << 20, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
      bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    }
    bytes[0] = static_cast<char>(0xFF);
    bytes[1] = static_cast<char>(0xD8);
    bytes[2] = static_cast<char>(0xFF);
    return bytes;
  }();
  return block;
}

std::string ImagePiece(const std::string& picture, size_t offset, size_t length) {
  const std::string& block = PatternBlock();
  std::string bytes;
  bytes.reserve(length);
  if (offset < picture.size()) {
    bytes.append(picture, offset, length);
  }
  const size_t end = offset + length;
  for (size_t at = offset + bytes.size(); at < end;) {
    const size_t start = at % block.size();
    const size_t piece = std::min(end - at, block.size() - start);
    bytes.append(block, start, piece);
    at += piece;
  }
  return bytes;
}
