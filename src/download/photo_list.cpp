#include "download/photo_list.h"

#include "platform/code_page.h"
#include "platform/file_path.h"
#include "platform/xml_file.h"

namespace {

constexpr std::string_view kListStart = "\"pic\"";
constexpr std::string_view kNameKey = "\"name\"";
constexpr std::string_view kValueOpener = ": \"";
constexpr std::string_view kValueCloser = "\",";
constexpr std::string_view kAddressKey = "origin_url";

std::string Bounded(std::string value) {
  value.resize(AnsiPrefixLength(value, kPhotoValueMaxBytes));
  return value;
}

// The value after the first opener at or after `from`, up to the first closer after it.
bool ValueAfter(std::string_view text, size_t from, std::string* value) {
  const size_t opener = text.find(kValueOpener, from);
  if (opener == std::string_view::npos) {
    return false;
  }
  const size_t start = opener + kValueOpener.size();
  const size_t closer = text.find(kValueCloser, start);
  if (closer == std::string_view::npos) {
    return false;
  }
  *value = Bounded(std::string(text.substr(start, closer - start)));
  return true;
}

}  // namespace

bool LoadPhotoListDocument(const std::string& ansiPath, TiXmlDocument& doc) {
  return LoadXmlFile(FsPathFromAnsi(ansiPath), kMaxPhotoListBytes, doc);
}

void ReadPhotoListDocument(const TiXmlDocument& doc, const std::atomic<uint8_t>& running,
                           const PhotoSink& sink) {
  const TiXmlElement* root = doc.FirstChildElement();
  if (root == nullptr) {
    return;
  }
  for (const TiXmlElement* child = root->FirstChildElement(); child != nullptr && running == 1;
       child = child->NextSiblingElement()) {
    PhotoEntry entry;
    if (child->ValueStr() == "pic") {
      for (const TiXmlElement* field = child->FirstChildElement(); field != nullptr;
           field = field->NextSiblingElement()) {
        if (field->ValueStr() == "name") {
          entry.name = Bounded(ElementText(*field));
        } else if (field->ValueStr() == "origin_url") {
          entry.originUrl = Bounded(ElementText(*field));
        }
        if (!entry.name.empty() && !entry.originUrl.empty()) {
          break;
        }
      }
    }
    if (!entry.name.empty() && !entry.originUrl.empty()) {
      sink(entry);
    }
  }
}

void ScanCachedAlbumPage(std::string_view text, const std::atomic<uint8_t>& running,
                         const PhotoSink& sink) {
  text = text.substr(0, text.find('\0'));
  size_t cursor = text.find(kListStart);
  if (cursor == std::string_view::npos) {
    return;
  }
  while (running == 1) {
    const size_t nameKey = text.find(kNameKey, cursor);
    if (nameKey == std::string_view::npos) {
      return;
    }
    PhotoEntry entry;
    if (!ValueAfter(text, nameKey, &entry.name)) {
      return;
    }
    // The address key is looked for from the name key on, not from after the name's value.
    const size_t addressKey = text.find(kAddressKey, nameKey);
    if (addressKey == std::string_view::npos || !ValueAfter(text, addressKey, &entry.originUrl)) {
      return;
    }
    if (!entry.name.empty() && !entry.originUrl.empty() && running == 1) {
      sink(entry);
    }
    cursor = nameKey + kNameKey.size();
  }
}
