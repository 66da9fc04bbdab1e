#pragma once

// Loading XML documents that come from outside (the network, the disk) with TinyXML.
//
// TinyXML parses nested elements recursively and overflows the stack on documents nested a few
// thousand levels deep, so a document is scanned first: the scan follows TinyXML's own reading of
// tags, comments, CDATA sections, declarations, attribute values and (in UTF-8 mode) multi-byte
// characters, and measures the element nesting TinyXML would reach. A document nested deeper than
// the bound, or holding a construct whose reading the scan cannot predict, is refused as
// unreadable before TinyXML sees it.

#include <tinyxml.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Deepest element nesting a document from outside may have.
constexpr int kMaxXmlNesting = 256;
// Largest document file that is read at all.
constexpr uintmax_t kMaxXmlFileBytes = 64u * 1024 * 1024;

// The deepest element nesting TinyXML reaches on `text`, counted until it passes `limit` (then
// limit + 1 is returned). -1 when the document holds a construct whose reading the scan cannot
// predict.
int XmlElementDepth(std::string_view text, int limit);

// Parses `text` into `doc` as TiXmlDocument::LoadFile does with the text of a file: up to its
// first zero byte, CR LF and lone CR turned into LF, TinyXML's default encoding handling.
// Returns false for a refused or malformed document.
bool ParseXmlText(std::string_view text, TiXmlDocument& doc);

// Reads and parses the file at `path`. False when it is missing, unreadable, too large, refused or
// malformed.
bool LoadXmlFile(const std::filesystem::path& path, TiXmlDocument& doc);

// The text of `element` as TinyXML's GetText gives it; empty when its first child is not text.
std::string ElementText(const TiXmlElement& element);
