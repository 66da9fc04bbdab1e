#pragma once

// The element nesting of a tree TinyXML built (including what it built before an error): what
// the XML pre-scan's depth is held against.

#include <algorithm>

#include "platform/xml_file.h"

inline int DomDepth(const TiXmlNode* node) {
  int deepest = 0;
  for (const TiXmlNode* child = node->FirstChild(); child != nullptr;
       child = child->NextSibling()) {
    deepest = std::max(deepest, DomDepth(child));
  }
  return deepest + (node->ToElement() != nullptr ? 1 : 0);
}
