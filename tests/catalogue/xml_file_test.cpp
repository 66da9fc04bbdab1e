#include "catalogue/xml_file.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

std::string Repeat(const std::string& unit, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) {
    out += unit;
  }
  return out;
}

// The element nesting of what TinyXML built, including what it built before an error.
int DomDepth(const TiXmlNode* node) {
  int deepest = 0;
  for (const TiXmlNode* child = node->FirstChild(); child != nullptr;
       child = child->NextSibling()) {
    deepest = std::max(deepest, DomDepth(child));
  }
  return deepest + (node->ToElement() != nullptr ? 1 : 0);
}

int TinyXmlDepth(const std::string& text) {
  TiXmlDocument doc;
  doc.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
  return DomDepth(&doc);
}

// Each document hides end tags (or start tags) from a scan that does not read as TinyXML does.
// The units repeat five times; the scan must measure exactly the nesting TinyXML builds.
TEST(XmlFileTest, DepthScanReadsDocumentsAsTinyXmlDoes) {
  const std::vector<std::string> documents = {
      "<a><b/><c><d></d></c></a>",
      "<r>" + Repeat("<a><!--</a>-->", 5),
      "<r>" + Repeat("<a x='</a>'>", 5),
      "<r>" + Repeat("<a x=\"</a>\" y = '/>'>", 5),
      "<r>" + Repeat("<a><![CDATA[</a>]]>", 5),
      "<r>" + Repeat("<a><!DOCTYPE </a>>", 5),
      "<?xml version=\"1.0\"?><r>" + Repeat("<a>\xE4</a>", 5),  // UTF-8: the lead takes "</"
      "<r>" + Repeat("<a>\xE4</a>", 5),                         // no declaration: byte mode
      "<?xml version='1.0' encoding='ISO-8859-1'?><r>" + Repeat("<a>\xE4</a>", 5),
      "\xEF\xBB\xBF<r>" + Repeat("<a x='\xE4'></a>'>", 5),  // BOM: UTF-8 mode
      "<r/></x></x>" + Repeat("<a>", 5),                    // top-level end tags
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<r>" + Repeat("<a>\xEF\xBB\xBF</a>", 5),
      "<r>" + Repeat("<a><?xml version='</a>'?>", 5),
      "<r>" + Repeat("<a b=c>", 5),
      Repeat("<a>text &amp; &#x41; more", 5),
      "<?xml version='1.0'?><r>" + Repeat("<\xEF\xBB\xBF a>", 5),  // marks skipped before names
  };
  for (const std::string& doc : documents) {
    EXPECT_EQ(XmlElementDepth(doc, kMaxXmlNesting), TinyXmlDepth(doc)) << doc;
  }
}

TEST(XmlFileTest, DeepDocumentsAreRefusedBeforeParsing) {
  TiXmlDocument doc;
  EXPECT_TRUE(ParseXmlText(Repeat("<a>", 256) + Repeat("</a>", 256), doc));
  EXPECT_FALSE(ParseXmlText(Repeat("<a>", 257) + Repeat("</a>", 257), doc));
  EXPECT_EQ(XmlElementDepth(Repeat("<a>", 100000), 256), 257);
  // The hiding tricks do not get a deep document past the scan.
  EXPECT_FALSE(ParseXmlText("<r>" + Repeat("<a><!--</a>-->", 50000), doc));
  EXPECT_FALSE(ParseXmlText("<?xml version='1.0'?><r>" + Repeat("<a>\xE4</a>", 50000), doc));
}

TEST(XmlFileTest, EncodingNameWithReferencesIsNotGuessed) {
  EXPECT_EQ(XmlElementDepth("<?xml version='1.0' encoding='&#x55;TF-8'?><r/>", 256), -1);
  TiXmlDocument doc;
  EXPECT_FALSE(ParseXmlText("<?xml version='1.0' encoding='&#x55;TF-8'?><r/>", doc));
}

TEST(XmlFileTest, ElementTextIsEmptyUnlessTheFirstChildIsText) {
  TiXmlDocument doc;
  ASSERT_TRUE(ParseXmlText("<r><a>x</a><b><c/>x</b><d/></r>", doc));
  const TiXmlElement* root = doc.RootElement();
  EXPECT_EQ(ElementText(*root->FirstChildElement("a")), "x");
  EXPECT_EQ(ElementText(*root->FirstChildElement("b")), "");
  EXPECT_EQ(ElementText(*root->FirstChildElement("d")), "");
}

}  // namespace
