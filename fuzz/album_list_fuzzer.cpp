// Feeds arbitrary bytes to the album-list document readers.
//
// Besides crashes it checks three promises: the scan in front of TinyXML never under-counts what
// TinyXML builds (nesting, nodes, attributes of one element), so TinyXML never builds a tree
// beyond the bounds; and every record is well formed.

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "catalogue/album_list_document.h"
#include "catalogue/app_state.h"
#include "platform/code_page.h"
#include "platform/xml_file.h"
#include "require.h"
#include "support/xml_depth.h"

namespace {

constexpr size_t kDirectParseMaxBytes = 4096;

// What TinyXML built, counted as the scan counts it.
struct DomCounts {
  size_t nodes = 0;    // every node but plain text, and every attribute
  int attributes = 0;  // the most on one element
};

void CountDom(const TiXmlNode* node, DomCounts* counts) {
  if (const TiXmlElement* element = node->ToElement()) {
    int attributes = 0;
    for (const TiXmlAttribute* attribute = element->FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
      ++attributes;
    }
    counts->nodes += static_cast<size_t>(attributes);
    counts->attributes = std::max(counts->attributes, attributes);
  }
  for (const TiXmlNode* child = node->FirstChild(); child != nullptr;
       child = child->NextSibling()) {
    const TiXmlText* text = child->ToText();
    if (text == nullptr || text->CDATA()) {
      ++counts->nodes;
    }
    CountDom(child, counts);
  }
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("zp-fuzz-" + std::to_string(getpid()) + ".xml"))
          .string();
  SetProcessCodePage("UTF-8");

  // On inputs small enough for TinyXML to parse at any nesting, the scan must never count less
  // than the tree TinyXML builds (with or without an error on the way).
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const std::string_view text = raw.substr(0, std::min(raw.find('\0'), raw.size()));
  if (text.size() <= kDirectParseMaxBytes) {
    const XmlScan scan = ScanXml(text, {1 << 20, SIZE_MAX, INT_MAX});
    if (scan.predictable) {
      std::string padded(text);
      padded.append(8, '\0');
      TiXmlDocument direct;
      direct.Parse(padded.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
      Require(scan.depth >= DomDepth(&direct));
      DomCounts counts;
      CountDom(&direct, &counts);
      Require(scan.nodes >= counts.nodes);
      Require(scan.attributes >= counts.attributes);
    }
  }

  TiXmlDocument doc;
  const bool parsed = ParseXmlText(std::string_view(reinterpret_cast<const char*>(data), size),
                                   kMaxAlbumListBytes, doc);
  Require(DomDepth(&doc) <= kMaxXmlNesting);
  DomCounts counts;
  CountDom(&doc, &counts);
  Require(counts.nodes <= kMaxXmlNodes);
  Require(counts.attributes <= kMaxXmlAttributes);
  Require(!parsed || !doc.Error());

  WriteFile(path, data, size);
  const int32_t count = CountAlbumsInFile(path);
  Require(count >= 0);
  Require(!std::filesystem::exists(path));

  WriteFile(path, data, size);
  AppState* state = AppState::Instance();
  const bool any = ParseAlbumListFile(path);
  Require(!std::filesystem::exists(path));
  Require(any == !state->m_albums.empty());
  Require(static_cast<int32_t>(state->m_albums.size()) <= count);
  for (size_t i = 0; i < state->m_albums.size(); ++i) {
    const AlbumRecord& record = *state->m_albums[i];
    Require(record.m_index == static_cast<int32_t>(i));
    Require(!record.m_albumId.empty() && record.m_albumId.size() <= kAlbumTextMaxBytes);
    Require(record.m_name.size() <= kAlbumTextMaxBytes);
    Require(record.m_photoCount > 0);
  }
  state->ClearAlbums();
  return 0;
}
