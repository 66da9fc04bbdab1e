#pragma once

// The skin archive in memory: layouts and images are found by name inside it.

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Longest side of a skin image, in pixels: a larger one is refused before it is decoded.
constexpr uint32_t kMaxSkinImageSide = 8192;
// Largest file read from the skin archive (its stated size is checked before it is read).
constexpr uint64_t kMaxSkinEntryBytes = 16u << 20;

class SkinResources {
 public:
  // Uses the ZIP archive at `data` (kept alive by the caller while windows exist). False when it
  // is not a readable archive.
  static bool SetZip(const void* data, size_t length);
  // A folder to read files from instead (tests, development).
  static void SetFolder(const std::string& folder);
  // The named file's bytes, or nothing.
  static std::optional<std::string> ReadFile(const std::string& name);
  // The named PNG image, decoded once and kept; null when missing, not a PNG image, or larger
  // than kMaxSkinImageSide on a side: the control then goes without it.
  static cairo_surface_t* Image(const std::string& name);
  static void Clear();
};
