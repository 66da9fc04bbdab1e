// Feeds arbitrary page text to the album page scan (the text form of a photo list).
//
// Every entry must be complete, within the value bound, and its name must stand in the text
// between ": \"" and "\","; a stop after the first entry must end the scan there.

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "download/photo_list.h"
#include "platform/code_page.h"
#include "require.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetProcessCodePage("UTF-8");
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::atomic<uint8_t> running{1};
  size_t entries = 0;
  ScanCachedAlbumPage(text, running, [&](const PhotoEntry& entry) {
    Require(!entry.name.empty() && entry.name.size() <= kPhotoValueMaxBytes);
    Require(!entry.originUrl.empty() && entry.originUrl.size() <= kPhotoValueMaxBytes);
    Require(text.find(": \"" + entry.name) != std::string::npos);
    Require(entry.name.find("\",") == std::string::npos);
    ++entries;
  });
  size_t afterStop = 0;
  ScanCachedAlbumPage(text, running, [&](const PhotoEntry&) {
    ++afterStop;
    running = 0;
  });
  Require(afterStop == (entries > 0 ? 1u : 0u));
  return 0;
}
