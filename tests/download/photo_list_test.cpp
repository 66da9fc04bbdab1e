#include "download/photo_list.h"

#include <gtest/gtest.h>

#include "platform/code_page.h"
#include "platform/xml_file.h"

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries ReadXml(const std::string& text) {
  TiXmlDocument doc;
  EXPECT_TRUE(ParseXmlText(text, kMaxPhotoListBytes, doc)) << text;
  std::atomic<uint8_t> running{1};
  Entries entries;
  ReadPhotoListDocument(doc, running, [&](const PhotoEntry& entry) {
    entries.emplace_back(entry.name, entry.originUrl);
  });
  return entries;
}

Entries Scan(const std::string& text) {
  std::atomic<uint8_t> running{1};
  Entries entries;
  ScanCachedAlbumPage(text, running, [&](const PhotoEntry& entry) {
    entries.emplace_back(entry.name, entry.originUrl);
  });
  return entries;
}

std::string Pic(const std::string& inner) {
  return "<pic>" + inner + "</pic>";
}

TEST(PhotoListTest, XmlFormReadsPicChildrenInOrder) {
  EXPECT_EQ(ReadXml("<r><other><name>x</name><origin_url>u</origin_url></other>" +
                    Pic("<name>a</name><origin_url>http://p/a</origin_url>") +
                    Pic("<name>b &amp; c</name><origin_url>http://p/b</origin_url>") + "</r>"),
            (Entries{{"a", "http://p/a"}, {"b & c", "http://p/b"}}));
  // The walk stops once both are known; later children replace only before that.
  EXPECT_EQ(ReadXml("<r>" + Pic("<origin_url>u</origin_url><name>first</name><name>second</name>") +
                    "</r>"),
            (Entries{{"first", "u"}}));
  EXPECT_EQ(ReadXml("<r>" + Pic("<name>first</name><name>second</name><origin_url>u</origin_url>") +
                    "</r>"),
            (Entries{{"second", "u"}}));
  // A pic without an address yields nothing, and the next one starts from nothing.
  EXPECT_EQ(ReadXml("<r>" + Pic("<name>lonely</name>") + Pic("<origin_url>u2</origin_url>") +
                    Pic("<name>n3</name><origin_url>u3</origin_url>") + "</r>"),
            (Entries{{"n3", "u3"}}));
  EXPECT_EQ(ReadXml("<r><Pic><name>a</name><origin_url>u</origin_url></Pic>"
                    "<pics><name>a</name><origin_url>u</origin_url></pics></r>"),
            Entries{});
  EXPECT_EQ(ReadXml("<r>" + Pic("<name/><origin_url>u</origin_url>") +
                    Pic("<name><b>x</b></name><origin_url>u</origin_url>") + "</r>"),
            Entries{});
}

TEST(PhotoListTest, TextFormScansMarkersAsTheyStand) {
  const std::string page =
      R"({"name": "before", "origin_url": "http://p/0",)"
      R"( "pic": [ {"name": "a", "origin_url": "http://p/a",},)"
      R"( {"name": "", "origin_url": "http://p/empty",},)"
      R"( {"name": "b\"q\\", "origin_url": "http://p/b",},)"
      R"( {"name": "c", "x": 1}, {"name": "d", "origin_url": "http://p/d",} ]})";
  EXPECT_EQ(Scan(page), (Entries{{"a", "http://p/a"},
                                 {R"(b\"q\\)", "http://p/b"},
                                 {"c", "http://p/d"},  // no address of its own: the next one
                                 {"d", "http://p/d"}}));
  EXPECT_EQ(Scan(R"({"name": "a", "origin_url": "u",})"), Entries{});  // no list start
  EXPECT_EQ(Scan(R"("pic" "name": "a"b", "c", "origin_url": "u",)"),
            (Entries{{"a\"b", "u"}}));  // a value ends at the first quote before a comma
  EXPECT_EQ(Scan(R"("pic" "name": "a", "origin_url": "u)"), Entries{});  // no closer: the end
  EXPECT_EQ(Scan(std::string(R"("pic" "name": "a", "origin_url": "u",)") + '\0' +
                 R"("name": "b", "origin_url": "v",)"),
            (Entries{{"a", "u"}}));  // the text ends at its first zero byte
}

TEST(PhotoListTest, LongValuesAreCutWithoutSplittingACharacter) {
  SetProcessCodePage("UTF-8");
  std::string name;
  for (int i = 0; i < 200; ++i) {
    name += "\xE7\x9B\xB8";  // 600 bytes
  }
  const std::string address = "http://p/" + std::string(600, 'x');
  const Entries xml = ReadXml(
      "<r>" + Pic("<name>" + name + "</name><origin_url>" + address + "</origin_url>") + "</r>");
  ASSERT_EQ(xml.size(), 1u);
  EXPECT_EQ(xml[0].first, name.substr(0, 510));
  EXPECT_EQ(xml[0].second, address.substr(0, 511));
  const Entries text =
      Scan(R"("pic" "name": ")" + name + R"(", "origin_url": ")" + address + R"(",)");
  EXPECT_EQ(text, xml);
  SetProcessCodePage("");
}

TEST(PhotoListTest, BothFormsStopBeforeTheNextEntryOnceTheFlagIsCleared) {
  std::atomic<uint8_t> running{1};
  int seen = 0;
  auto stopAtFirst = [&](const PhotoEntry&) {
    ++seen;
    running = 0;
  };
  TiXmlDocument doc;
  ASSERT_TRUE(ParseXmlText("<r>" + Pic("<name>a</name><origin_url>u</origin_url>") +
                               Pic("<name>b</name><origin_url>v</origin_url>") + "</r>",
                           kMaxPhotoListBytes, doc));
  ReadPhotoListDocument(doc, running, stopAtFirst);
  EXPECT_EQ(seen, 1);

  running = 1;
  seen = 0;
  ScanCachedAlbumPage(R"("pic" "name": "a", "origin_url": "u", "name": "b", "origin_url": "v",)",
                      running, stopAtFirst);
  EXPECT_EQ(seen, 1);
}

}  // namespace
