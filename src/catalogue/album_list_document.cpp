#include "catalogue/album_list_document.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <string_view>
#include <system_error>

#include "catalogue/app_state.h"
#include "platform/code_page.h"
#include "platform/file_path.h"
#include "platform/xml_file.h"

namespace {

// The number at the start of `text` as C's atoi reads it: leading white space, an optional sign,
// digits up to the first non-digit, 0 without digits. Out-of-range values saturate.
int32_t AtoiValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  constexpr int64_t kCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min(kCap, value * 10 + (text[i] - '0'));
  }
  if (negative) {
    return static_cast<int32_t>(-value);
  }
  return static_cast<int32_t>(std::min(value, kCap - 1));
}

std::string TrimBlanks(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) {
    return {};
  }
  const size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// What one "album" element says; a later child element of the same name replaces an earlier one.
struct AlbumFields {
  std::string id;
  std::string name;
  int32_t total = 0;
  bool hasQuestion = false;

  bool Usable() const { return !id.empty() && total > 0; }
};

AlbumFields ReadAlbum(const TiXmlElement& album) {
  AlbumFields fields;
  for (const TiXmlElement* child = album.FirstChildElement(); child != nullptr;
       child = child->NextSiblingElement()) {
    const std::string& tag = child->ValueStr();
    if (tag == "id") {
      fields.id = ElementText(*child);
      if (fields.id.size() > kAlbumTextMaxBytes) {
        fields.id.clear();
      }
    } else if (tag == "name") {
      fields.name = ElementText(*child);
      fields.name.resize(AnsiPrefixLength(fields.name, kAlbumTextMaxBytes));
    } else if (tag == "total") {
      fields.total = AtoiValue(ElementText(*child));
    } else if (tag == "question") {
      fields.hasQuestion = !ElementText(*child).empty();
    }
  }
  return fields;
}

// Loads the document and deletes its file, whatever the outcome.
bool LoadAndDelete(const std::string& ansiPath, TiXmlDocument& doc) {
  const std::filesystem::path path = FsPathFromAnsi(ansiPath);
  const bool loaded = LoadXmlFile(path, kMaxAlbumListBytes, doc);
  std::error_code ec;
  std::filesystem::remove(path, ec);
  return loaded;
}

template <typename Visit>
void ForEachAlbum(const TiXmlDocument& doc, Visit visit) {
  const TiXmlElement* root = doc.FirstChildElement();
  if (root == nullptr) {
    return;
  }
  for (const TiXmlElement* child = root->FirstChildElement(); child != nullptr;
       child = child->NextSiblingElement()) {
    if (child->ValueStr() == "album") {
      visit(ReadAlbum(*child));
    }
  }
}

}  // namespace

int32_t CountAlbumsInFile(const std::string& ansiPath) {
  TiXmlDocument doc;
  if (!LoadAndDelete(ansiPath, doc)) {
    return 0;
  }
  int32_t count = 0;
  ForEachAlbum(doc, [&count](const AlbumFields& album) {
    if (album.Usable()) {
      ++count;
    }
  });
  return count;
}

bool ParseAlbumListFile(const std::string& ansiPath) {
  return ParseAlbumListFile(ansiPath, &AppState::Instance()->m_albums);
}

bool ParseAlbumListFile(const std::string& ansiPath,
                        std::vector<std::unique_ptr<AlbumRecord>>* albums) {
  TiXmlDocument doc;
  if (!LoadAndDelete(ansiPath, doc)) {
    return false;
  }
  int32_t nextIndex = 0;
  ForEachAlbum(doc, [&](const AlbumFields& album) {
    if (!album.Usable() || album.name.empty()) {
      return;
    }
    auto record = std::make_unique<AlbumRecord>();
    record->m_index = nextIndex++;
    record->m_albumId = album.id;
    record->m_name = TrimBlanks(album.name);
    record->m_photoCount = album.total;
    record->m_hasPassword = album.hasQuestion ? 1 : 0;
    albums->push_back(std::move(record));
  });
  return nextIndex > 0;
}
