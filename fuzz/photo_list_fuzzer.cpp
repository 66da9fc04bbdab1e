// Feeds arbitrary bytes to the photo-list document reader (the XML form).
//
// Every entry it hands on must be complete and within the value bound; a stop after the first
// entry must end the reading there.

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "download/photo_list.h"
#include "platform/code_page.h"
#include "platform/xml_file.h"
#include "require.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetProcessCodePage("UTF-8");
  TiXmlDocument doc;
  if (!ParseXmlText(std::string_view(reinterpret_cast<const char*>(data), size), kMaxPhotoListBytes,
                    doc)) {
    return 0;
  }
  std::atomic<uint8_t> running{1};
  size_t entries = 0;
  ReadPhotoListDocument(doc, running, [&](const PhotoEntry& entry) {
    Require(!entry.name.empty() && entry.name.size() <= kPhotoValueMaxBytes);
    Require(!entry.originUrl.empty() && entry.originUrl.size() <= kPhotoValueMaxBytes);
    ++entries;
  });
  size_t afterStop = 0;
  ReadPhotoListDocument(doc, running, [&](const PhotoEntry&) {
    ++afterStop;
    running = 0;
  });
  Require(afterStop == (entries > 0 ? 1u : 0u));
  return 0;
}
