#include "platform/xml_file.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/temp_dir.h"
#include "support/xml_depth.h"

namespace {

std::string Repeat(const std::string& unit, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) {
    out += unit;
  }
  return out;
}

int TinyXmlDepth(const std::string& text) {
  TiXmlDocument doc;
  doc.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
  return DomDepth(&doc);
}

// The nodes of what TinyXML built, counted as the scan counts them: every node but plain text,
// and every attribute.
size_t DomNodes(const TiXmlNode* node) {
  size_t count = 0;
  for (const TiXmlNode* child = node->FirstChild(); child != nullptr;
       child = child->NextSibling()) {
    const TiXmlText* text = child->ToText();
    count += (text == nullptr || text->CDATA() ? 1 : 0) + DomNodes(child);
  }
  if (const TiXmlElement* element = node->ToElement()) {
    for (const TiXmlAttribute* attribute = element->FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
      ++count;
    }
  }
  return count;
}

size_t TinyXmlNodes(const std::string& text) {
  TiXmlDocument doc;
  doc.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
  return DomNodes(&doc);
}

// An element with `count` attributes of distinct names.
std::string ElementWithAttributes(int count) {
  std::string out = "<r";
  for (int i = 0; i < count; ++i) {
    out += " a" + std::to_string(i) + "=''";
  }
  return out + "/>";
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
      "<r>" + Repeat("<a x='&#60;&#x3c;'>&#60;/a&#x3E;", 5),      // plain references are characters
      "<?xml version='1.0'?><r>" + Repeat("<a>\xE4&#</a>#;", 5),  // the lead takes "&#"
  };
  for (const std::string& doc : documents) {
    EXPECT_EQ(XmlElementDepth(doc, kMaxXmlNesting), TinyXmlDepth(doc)) << doc;
    EXPECT_EQ(ScanXml(doc, XmlBounds{}).nodes, TinyXmlNodes(doc)) << doc;
  }
}

// TinyXML reads "&#" up to the first ';' as one reference when the byte before the ';' is the '#'
// (or the 'x' after "&#x"), whatever lies between: end tags, quotes, comment openers.
TEST(XmlFileTest, ReferencesThatHideMarkupAreRefused) {
  const std::vector<std::string> hiding = {
      "<r><a>&#</a>#;</r>",
      "<r><a>&#x</a>x;</r>",
      "<r><a>&#<!--#;</a>--></r>",
      "<r><a v='&#'/>#;'></r>",
      "<r><a v=\"&#x\"/>x;\"></r>",
      "<r><a><?xml version='&#'?></a>#;'?></r>",
      "<?xml version='&#'?><a/>#;'?><r/>",
      "<?xml version='1.0'?><r><a>\xC3\xA4&#</a>#;</r>",  // a whole character before it
  };
  for (const std::string& doc : hiding) {
    EXPECT_EQ(XmlElementDepth(doc, kMaxXmlNesting), -1) << doc;
  }
  // Anything but digits (hexadecimal digits after "&#x") up to the ';' is refused too.
  for (const char* reference : {"&#", "&#;", "&#x;", "&#X41;", "&#12a;", "&#1#;", "&#x1x;"}) {
    EXPECT_EQ(XmlElementDepth(std::string("<r>") + reference + "</r>", kMaxXmlNesting), -1)
        << reference;
  }
  // A comment, CDATA, unknown markup and an unquoted value take "&#" as it is.
  EXPECT_EQ(XmlElementDepth("<r x=&#><!--&#--><![CDATA[&#]]><!&#><a></a></r>", kMaxXmlNesting), 2);

  TiXmlDocument doc;
  EXPECT_FALSE(
      ParseXmlText("<list>" + Repeat("<a>&#</a>#;", 100000) + "</list>", kMaxAlbumListBytes, doc));
  EXPECT_FALSE(
      ParseXmlText("<list>" + Repeat("<a>&#x</a>x;", 100000) + "</list>", kMaxAlbumListBytes, doc));
  EXPECT_FALSE(ParseXmlText("<list>" + Repeat("<a v='&#'/>#;'>", 100000) + "</list>",
                            kMaxAlbumListBytes, doc));
  EXPECT_FALSE(
      ParseXmlText("<list>" + Repeat("<a><?xml version='&#'?></a>#;'?>", 100000) + "</list>",
                   kMaxAlbumListBytes, doc));
}

TEST(XmlFileTest, PlainReferencesAreRead) {
  TiXmlDocument doc;
  ASSERT_TRUE(
      ParseXmlText("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                   "<r v='&#20013;&#x4e2d;'><a>&#20013;&#x4E2D;&#65;</a></r>",
                   kMaxAlbumListBytes, doc));
  const TiXmlElement* root = doc.RootElement();
  EXPECT_EQ(ElementText(*root->FirstChildElement("a")), "中中A");
  EXPECT_STREQ(root->Attribute("v"), "中中");
}

TEST(XmlFileTest, ElementsWithManyAttributesAreRefused) {
  TiXmlDocument doc;
  EXPECT_TRUE(ParseXmlText(ElementWithAttributes(kMaxXmlAttributes), kMaxLayoutBytes, doc));
  EXPECT_FALSE(ParseXmlText(ElementWithAttributes(kMaxXmlAttributes + 1), kMaxLayoutBytes, doc));
  EXPECT_FALSE(ParseXmlText(ElementWithAttributes(40000), kMaxAlbumListBytes, doc));
  EXPECT_EQ(ScanXml(ElementWithAttributes(40000), XmlBounds{}).attributes, kMaxXmlAttributes + 1);
}

TEST(XmlFileTest, DocumentsWithManyNodesAreRefused) {
  TiXmlDocument doc;
  EXPECT_TRUE(ParseXmlText(Repeat("<a/>", 200000), kMaxAlbumListBytes, doc));
  EXPECT_FALSE(ParseXmlText(Repeat("<a/>", 200001), kMaxAlbumListBytes, doc));
  // Comments, other markup and attributes count as nodes; text does not.
  EXPECT_FALSE(ParseXmlText("<r>" + Repeat("<!---->", 200000) + "</r>", kMaxPhotoListBytes, doc));
  EXPECT_FALSE(ParseXmlText("<r>" + Repeat("<>", 200000) + "</r>", kMaxPhotoListBytes, doc));
  EXPECT_FALSE(
      ParseXmlText("<r>" + Repeat("<a b='' c=''/>", 70000) + "</r>", kMaxPhotoListBytes, doc));
  EXPECT_TRUE(ParseXmlText("<r>" + Repeat("<a/>x", 199999) + "</r>", kMaxPhotoListBytes, doc));
  EXPECT_EQ(
      ScanXml("<?xml version='1.0'?><r a='1' b=2><!--c--><![CDATA[x]]>t<x/><>y</r>", XmlBounds{})
          .nodes,
      8u);
}

TEST(XmlFileTest, DocumentsOverTheirCapAreRefused) {
  const std::string fits = "<r>" + std::string(kMaxAlbumListBytes - 7, ' ') + "</r>";
  const std::string over = "<r>" + std::string(kMaxAlbumListBytes - 6, ' ') + "</r>";
  ASSERT_EQ(over.size(), kMaxAlbumListBytes + 1);
  TiXmlDocument doc;
  EXPECT_TRUE(ParseXmlText(fits, kMaxAlbumListBytes, doc));
  EXPECT_FALSE(ParseXmlText(over, kMaxAlbumListBytes, doc));
  EXPECT_TRUE(ParseXmlText(over, kMaxPhotoListBytes, doc));

  TempDir dir;
  TiXmlDocument fromFile;
  EXPECT_TRUE(LoadXmlFile(dir.Write("fits.xml", fits), kMaxAlbumListBytes, fromFile));
  EXPECT_FALSE(LoadXmlFile(dir.Write("over.xml", over), kMaxAlbumListBytes, fromFile));
  EXPECT_FALSE(LoadXmlFile(dir.Path() / "missing.xml", kMaxAlbumListBytes, fromFile));
}

TEST(XmlFileTest, DeepDocumentsAreRefusedBeforeParsing) {
  TiXmlDocument doc;
  EXPECT_TRUE(ParseXmlText(Repeat("<a>", 256) + Repeat("</a>", 256), kMaxAlbumListBytes, doc));
  EXPECT_FALSE(ParseXmlText(Repeat("<a>", 257) + Repeat("</a>", 257), kMaxAlbumListBytes, doc));
  EXPECT_EQ(XmlElementDepth(Repeat("<a>", 100000), 256), 257);
  // The hiding tricks do not get a deep document past the scan.
  EXPECT_FALSE(ParseXmlText("<r>" + Repeat("<a><!--</a>-->", 50000), kMaxAlbumListBytes, doc));
  EXPECT_FALSE(ParseXmlText("<?xml version='1.0'?><r>" + Repeat("<a>\xE4</a>", 50000),
                            kMaxAlbumListBytes, doc));
}

TEST(XmlFileTest, EncodingNameWithReferencesIsNotGuessed) {
  EXPECT_EQ(XmlElementDepth("<?xml version='1.0' encoding='&#x55;TF-8'?><r/>", 256), -1);
  TiXmlDocument doc;
  EXPECT_FALSE(
      ParseXmlText("<?xml version='1.0' encoding='&#x55;TF-8'?><r/>", kMaxAlbumListBytes, doc));
}

TEST(XmlFileTest, ElementTextIsEmptyUnlessTheFirstChildIsText) {
  TiXmlDocument doc;
  ASSERT_TRUE(ParseXmlText("<r><a>x</a><b><c/>x</b><d/></r>", kMaxAlbumListBytes, doc));
  const TiXmlElement* root = doc.RootElement();
  EXPECT_EQ(ElementText(*root->FirstChildElement("a")), "x");
  EXPECT_EQ(ElementText(*root->FirstChildElement("b")), "");
  EXPECT_EQ(ElementText(*root->FirstChildElement("d")), "");
}

}  // namespace
