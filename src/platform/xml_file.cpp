#include "platform/xml_file.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <fstream>
#include <system_error>

namespace {

constexpr size_t kNpos = std::string_view::npos;
// Zero bytes after the text: TinyXML may step up to three bytes past the end of the text when
// a multi-byte character is cut off there, and must read zeros, never memory beyond the buffer.
constexpr size_t kParsePadding = 8;

bool IsWhite(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsAsciiAlpha(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
// TinyXML takes every byte from 127 up as a letter.
bool IsNameStart(unsigned char c) {
  return c >= 127 || IsAsciiAlpha(c) || c == '_';
}
bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}
bool IsHexDigit(unsigned char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || IsDigit(c) || c == '-' || c == '.' || c == ':';
}

// Bytes TinyXML takes for one character in UTF-8 mode, from the lead byte.
size_t Utf8CharBytes(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) {
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return 4;
  }
  return 1;
}

bool StartsWithNoCase(std::string_view text, size_t pos, std::string_view prefix) {
  if (text.size() - std::min(pos, text.size()) < prefix.size()) {
    return false;
  }
  for (size_t i = 0; i < prefix.size(); ++i) {
    unsigned char a = static_cast<unsigned char>(text[pos + i]);
    unsigned char b = static_cast<unsigned char>(prefix[i]);
    if (a >= 'A' && a <= 'Z') {
      a = static_cast<unsigned char>(a - 'A' + 'a');
    }
    if (a != b) {
      return false;
    }
  }
  return true;
}

// Walks a document the way TinyXML's parser does and counts the element nesting it reaches, the
// nodes it builds and the attributes of each element. Every step that could differ from TinyXML
// is either followed exactly or reported as unfollowable; steps where TinyXML stops with an error
// only end the walk early. The walk ends as soon as a count passes its bound.
class Scanner {
 public:
  Scanner(std::string_view text, const XmlBounds& bounds) : m_text(text), m_bounds(bounds) {}

  XmlScan Run() {
    if (StartsWith(0, "\xEF\xBB\xBF")) {
      m_utf8 = true;
      m_encodingKnown = true;
    }
    size_t p = SkipWhite(0);
    while (p < m_text.size() && m_text[p] == '<' && !Stopped()) {
      const bool declaration = StartsWithNoCase(m_text, p, "<?xml");
      std::string encoding;
      p = Node(p, &encoding);
      if (declaration && !m_encodingKnown) {
        m_encodingKnown = true;
        m_utf8 = encoding.empty() || StartsWithNoCase(encoding, 0, "utf-8") ||
                 StartsWithNoCase(encoding, 0, "utf8");
      }
      p = SkipWhite(p);
    }
    return m_scan;
  }

 private:
  bool Stopped() const {
    return !m_scan.predictable || m_scan.depth > m_bounds.nesting ||
           m_scan.nodes > m_bounds.nodes || m_scan.attributes > m_bounds.attributes;
  }

  bool StartsWith(size_t pos, std::string_view s) const {
    return pos <= m_text.size() && m_text.substr(pos, s.size()) == s;
  }
  unsigned char At(size_t pos) const {
    return pos < m_text.size() ? static_cast<unsigned char>(m_text[pos]) : 0;
  }
  size_t SkipPast(size_t from, std::string_view end) const {
    const size_t found = m_text.find(end, std::min(from, m_text.size()));
    return found == kNpos ? m_text.size() : found + end.size();
  }

  size_t SkipWhite(size_t p) const {
    while (p < m_text.size()) {
      if (m_utf8 && (StartsWith(p, "\xEF\xBB\xBF") || StartsWith(p, "\xEF\xBF\xBE") ||
                     StartsWith(p, "\xEF\xBF\xBF"))) {
        p += 3;
      } else if (IsWhite(At(p))) {
        ++p;
      } else {
        break;
      }
    }
    return p;
  }

  size_t ReadName(size_t p) const {
    if (!IsNameStart(At(p)) || p >= m_text.size()) {
      return kNpos;
    }
    while (p < m_text.size() && IsNameChar(At(p))) {
      ++p;
    }
    return p;
  }

  // The end of a numeric character reference TinyXML reads the same way as plain characters: "&#"
  // and decimal digits, or "&#x" and hexadecimal digits, then ';'. kNpos for any other "&#".
  // TinyXML takes everything from "&#" to the first ';' after it as one reference whenever the
  // byte before that ';' is the '#' (or the 'x'), so "&#</a>#;" would hide an end tag, a quote
  // or a comment from a scan that reads it byte by byte.
  size_t PlainReferenceEnd(size_t p) const {
    p += 2;
    const bool hex = At(p) == 'x';
    if (hex) {
      ++p;
    }
    const size_t digits = p;
    while (p < m_text.size() && (hex ? IsHexDigit(At(p)) : IsDigit(At(p)))) {
      ++p;
    }
    if (p == digits || p >= m_text.size() || m_text[p] != ';') {
      return kNpos;
    }
    return p + 1;
  }

  // Reads character data up to `end` one character at a time, as TinyXML does where it decodes
  // references (text and quoted attribute values): in UTF-8 mode a lead byte takes its whole
  // sequence, so a '<', a quote or an '&' inside it is not seen. A numeric reference that is not
  // plain makes the document unpredictable; the scan then ends.
  size_t ReadText(size_t p, char end) {
    while (p < m_text.size() && m_text[p] != end) {
      if (m_text[p] == '&' && At(p + 1) == '#') {
        p = PlainReferenceEnd(p);
        if (p == kNpos) {
          m_scan.predictable = false;
          return End();
        }
      } else {
        p += m_utf8 ? Utf8CharBytes(At(p)) : 1;
      }
    }
    return p;
  }

  // One node starting at '<'; returns the position after it, or the end of the text. TinyXML
  // keeps every node it starts, also one whose reading fails.
  size_t Node(size_t p, std::string* encoding) {
    ++m_scan.nodes;
    if (Stopped()) {
      return End();
    }
    if (StartsWithNoCase(m_text, p, "<?xml")) {
      return Declaration(p + 5, encoding);
    }
    if (StartsWith(p, "<!--")) {
      return SkipPast(p + 4, "-->");
    }
    if (StartsWith(p, "<![CDATA[")) {
      return SkipPast(p + 9, "]]>");
    }
    if (StartsWith(p, "<!")) {
      return SkipPast(p + 2, ">");
    }
    if (IsNameStart(At(p + 1)) && p + 1 < m_text.size()) {
      return Element(p);
    }
    return SkipPast(p + 1, ">");
  }

  // Reads `name = value`; returns the position after it or kNpos where TinyXML fails. The value
  // goes to `value` when it is given.
  size_t Attribute(size_t p, std::string* value) {
    p = SkipWhite(p);
    p = ReadName(p);
    if (p == kNpos || p >= m_text.size()) {
      return kNpos;
    }
    p = SkipWhite(p);
    if (At(p) != '=') {
      return kNpos;
    }
    p = SkipWhite(p + 1);
    if (p >= m_text.size()) {
      return kNpos;
    }
    const char quote = m_text[p];
    if (quote == '"' || quote == '\'') {
      const size_t end = ReadText(p + 1, quote);
      if (end >= m_text.size()) {
        return kNpos;
      }
      if (value != nullptr) {
        *value = std::string(m_text.substr(p + 1, end - p - 1));
      }
      return end + 1;
    }
    const size_t start = p;
    while (p < m_text.size() && !IsWhite(At(p)) && At(p) != '/' && At(p) != '>') {
      if (At(p) == '"' || At(p) == '\'') {
        return kNpos;
      }
      ++p;
    }
    if (value != nullptr) {
      *value = std::string(m_text.substr(start, p - start));
    }
    return p;
  }

  size_t Declaration(size_t p, std::string* encoding) {
    while (p < m_text.size()) {
      if (m_text[p] == '>') {
        return p + 1;
      }
      p = SkipWhite(p);
      const bool isEncoding = StartsWithNoCase(m_text, p, "encoding");
      if (StartsWithNoCase(m_text, p, "version") || isEncoding ||
          StartsWithNoCase(m_text, p, "standalone")) {
        std::string value;
        p = Attribute(p, &value);
        if (p == kNpos) {
          return End();
        }
        // TinyXML decodes references in the value before it compares the encoding name; such a
        // declaration could pick a mode this scan cannot predict.
        if (isEncoding && value.find('&') != std::string::npos) {
          m_scan.predictable = false;
          return End();
        }
        if (isEncoding && encoding != nullptr) {
          *encoding = value;
        }
      } else {
        while (p < m_text.size() && m_text[p] != '>' && !IsWhite(At(p))) {
          ++p;
        }
      }
    }
    return p;
  }

  // An element from its '<' on. It is in TinyXML's tree one level below its parent from there,
  // also when its start tag fails or it has no content.
  size_t Element(size_t p) {
    ++m_depth;
    m_scan.depth = std::max(m_scan.depth, m_depth);
    if (Stopped()) {
      return End();
    }
    // TinyXML skips white space (in UTF-8 mode also byte-order marks) between '<' and the name.
    p = ReadName(SkipWhite(p + 1));
    if (p == kNpos) {
      return End();
    }
    int attributes = 0;
    while (p < m_text.size()) {
      p = SkipWhite(p);
      if (p >= m_text.size()) {
        break;
      }
      if (m_text[p] == '/') {
        if (At(p + 1) != '>') {
          return End();
        }
        --m_depth;
        return p + 2;
      }
      if (m_text[p] == '>') {
        return Content(p + 1);
      }
      p = Attribute(p, nullptr);
      if (p == kNpos) {
        return End();
      }
      ++m_scan.nodes;
      m_scan.attributes = std::max(m_scan.attributes, ++attributes);
      if (Stopped()) {
        return End();
      }
    }
    return End();
  }

  // The content of an open element up to and past its end tag.
  size_t Content(size_t p) {
    p = SkipWhite(p);
    while (p < m_text.size() && !Stopped()) {
      if (m_text[p] != '<') {
        p = ReadText(p, '<');
      } else if (StartsWith(p, "</")) {
        --m_depth;
        return SkipPast(p + 2, ">");
      } else {
        p = Node(p, nullptr);
      }
      p = SkipWhite(p);
    }
    return End();
  }

  // TinyXML stops at an error; nothing after it is parsed.
  size_t End() const { return m_text.size(); }

  std::string_view m_text;
  XmlBounds m_bounds;
  XmlScan m_scan;
  int m_depth = 0;
  bool m_utf8 = false;
  bool m_encodingKnown = false;
};

// The text as TiXmlDocument::LoadFile hands it to the parser, with zero padding behind it.
std::string NormalizedForParse(std::string_view text) {
  text = text.substr(0, std::min(text.find('\0'), text.size()));
  std::string out;
  out.reserve(text.size() + kParsePadding);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
      }
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

}  // namespace

XmlScan ScanXml(std::string_view text, const XmlBounds& bounds) {
  return Scanner(text, bounds).Run();
}

int XmlElementDepth(std::string_view text, int limit) {
  const XmlScan scan = ScanXml(text, {limit, SIZE_MAX, INT_MAX});
  return scan.predictable ? scan.depth : -1;
}

bool ParseXmlText(std::string_view text, size_t maxBytes, TiXmlDocument& doc) {
  if (text.size() > maxBytes) {
    return false;
  }
  std::string normalized = NormalizedForParse(text);
  const size_t length = normalized.size();
  const XmlScan scan = ScanXml(normalized, XmlBounds{});
  if (!scan.predictable || scan.depth > kMaxXmlNesting || scan.nodes > kMaxXmlNodes ||
      scan.attributes > kMaxXmlAttributes) {
    return false;
  }
  normalized.append(kParsePadding, '\0');
  if (length == 0) {
    return false;  // TinyXML reports an empty document as an error too
  }
  doc.Parse(normalized.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
  return !doc.Error();
}

bool LoadXmlFile(const std::filesystem::path& path, size_t maxBytes, TiXmlDocument& doc) {
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size > maxBytes) {
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  std::string text(static_cast<size_t>(size), '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  return ParseXmlText(text, maxBytes, doc);
}

std::string ElementText(const TiXmlElement& element) {
  const char* text = element.GetText();
  return text != nullptr ? std::string(text) : std::string();
}
