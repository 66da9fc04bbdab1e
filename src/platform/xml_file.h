#pragma once

// Loading XML documents that come from outside (the network, the disk) with TinyXML.
//
// TinyXML trusts its input in ways a hostile document can exploit: it parses nested elements
// recursively (and overflows the stack a few thousand levels down), it compares each attribute
// with every earlier one of its element (quadratic time), and it builds a heap object of a hundred
// bytes or more for every node and attribute however few bytes of text each takes. So a document
// is scanned first: the scan follows TinyXML's own reading of tags, comments, CDATA sections,
// declarations, attribute values, numeric character references and (in UTF-8 mode) multi-byte
// characters, and counts what TinyXML would build. A document over its size cap, nested deeper,
// holding more nodes or more attributes on one element than the bounds below, or holding a
// construct whose reading the scan cannot predict, is refused as unreadable before TinyXML sees
// it.

#include <tinyxml.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

// Deepest element nesting a document from outside may have: far below the depth at which
// TinyXML's recursion overflows the stack, far above any real document.
constexpr int kMaxXmlNesting = 256;
// Most attributes one element may have. TinyXML checks each attribute against all earlier ones of
// its element, so an element costs the square of its attribute count; real documents have fewer
// than a dozen.
constexpr int kMaxXmlAttributes = 64;
// Most nodes a document may make TinyXML build, counting elements, comments, CDATA sections,
// declarations, other markup (`<!...>`, `<>`) and attributes; text nodes are not counted, since
// every one of them ends at markup or an end tag, so there are at most twice as many of them.
// Each costs TinyXML a heap object of about 100 to 250 bytes, so this keeps what a document builds
// under about 100 MiB besides its text. An album entry takes 4, a photo entry 3.
constexpr size_t kMaxXmlNodes = 200000;

// Size caps, one for each kind of document: the largest text of that kind that is read at all.
// Downloads of these documents stop at the same caps.
constexpr size_t kMaxAlbumListBytes = 4u * 1024 * 1024;
// Enough for the largest album the service allows.
constexpr size_t kMaxPhotoListBytes = 16u * 1024 * 1024;
// A layout of the skin.
constexpr size_t kMaxLayoutBytes = 1u * 1024 * 1024;

// What the scan finds in a document.
struct XmlScan {
  // False when the document holds a construct whose reading the scan cannot predict.
  bool predictable = true;
  // The deepest element nesting TinyXML reaches: the most elements on one path down its tree, an
  // empty element and one whose start tag fails included.
  int depth = 0;
  // The nodes TinyXML builds, counted as kMaxXmlNodes counts them.
  size_t nodes = 0;
  // The most attributes on one element.
  int attributes = 0;
};

// The limits at which a scan stops.
struct XmlBounds {
  int nesting = kMaxXmlNesting;
  size_t nodes = kMaxXmlNodes;
  int attributes = kMaxXmlAttributes;
};

// Scans `text` as TinyXML would read it (the text handed to its parser, without the zero padding).
// The scan stops as soon as one count passes its bound (that count is then the bound + 1, the
// others as far as they got) or an unpredictable construct is found (`predictable` false).
XmlScan ScanXml(std::string_view text, const XmlBounds& bounds);

// The deepest element nesting TinyXML reaches on `text`, counted until it passes `limit` (then
// limit + 1 is returned). -1 when the document holds a construct whose reading the scan cannot
// predict. Nodes and attributes are not bounded here.
int XmlElementDepth(std::string_view text, int limit);

// Parses `text` into `doc` as TiXmlDocument::LoadFile does with the text of a file: up to its
// first zero byte, CR LF and lone CR turned into LF, TinyXML's default encoding handling.
// Returns false for a text longer than `maxBytes`, a refused or a malformed document.
bool ParseXmlText(std::string_view text, size_t maxBytes, TiXmlDocument& doc);

// Reads and parses the file at `path`. False when it is missing, unreadable, longer than
// `maxBytes`, refused or malformed.
bool LoadXmlFile(const std::filesystem::path& path, size_t maxBytes, TiXmlDocument& doc);

// The text of `element` as TinyXML's GetText gives it; empty when its first child is not text.
std::string ElementText(const TiXmlElement& element);
