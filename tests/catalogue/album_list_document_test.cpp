#include "catalogue/album_list_document.h"

#include <gtest/gtest.h>

#include "catalogue/app_state.h"
#include "platform/code_page.h"
#include "support/temp_dir.h"

namespace {

std::string Album(const std::string& inner) {
  return "<album>" + inner + "</album>";
}

class AlbumListDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override { SetProcessCodePage("UTF-8"); }
  void TearDown() override {
    AppState::Destroy();
    SetProcessCodePage("");
  }

  // Writes the document and returns its path as the operations take it.
  std::string Write(const std::string& document) {
    m_file = m_dir.Write("list.xml", document);
    return m_file.string();
  }
  int32_t Count(const std::string& document) { return CountAlbumsInFile(Write(document)); }
  bool Parse(const std::string& document) { return ParseAlbumListFile(Write(document)); }
  const std::vector<std::unique_ptr<AlbumRecord>>& Albums() {
    return AppState::Instance()->m_albums;
  }

  TempDir m_dir;
  std::filesystem::path m_file;
};

TEST_F(AlbumListDocumentTest, ReadsAlbumsOfAnyRootInDocumentOrder) {
  const std::string doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<whatever>" +
      Album("<id>a1</id><name>  Trip  </name><total>12</total>") + "<note/>" +
      Album("<id>a2</id><name>Secret</name><total>3</total><question>pet?</question>") +
      "</whatever>";
  EXPECT_EQ(Count(doc), 2);
  EXPECT_FALSE(std::filesystem::exists(m_file));
  ASSERT_TRUE(Parse(doc));
  EXPECT_FALSE(std::filesystem::exists(m_file));
  ASSERT_EQ(Albums().size(), 2u);
  const AlbumRecord& trip = *Albums()[0];
  EXPECT_EQ(trip.m_index, 0);
  EXPECT_EQ(trip.m_albumId, "a1");
  EXPECT_EQ(trip.m_name, "Trip");
  EXPECT_EQ(trip.m_photoCount, 12);
  EXPECT_EQ(trip.m_hasPassword, 0);
  EXPECT_EQ(Albums()[1]->m_index, 1);
  EXPECT_EQ(Albums()[1]->m_hasPassword, 1);
}

TEST_F(AlbumListDocumentTest, OnlyDirectChildrenNamedAlbumCount) {
  EXPECT_EQ(Count("<r><group>" + Album("<id>x</id><name>n</name><total>1</total>") +
                  "</group><Album><id>y</id><name>n</name><total>1</total></Album></r>"),
            0);
  EXPECT_FALSE(
      Parse("<r><group>" + Album("<id>x</id><name>n</name><total>1</total>") + "</group></r>"));
  // Album data is read from direct children only, and attributes are never read.
  EXPECT_EQ(Count("<r><album id=\"x\" total=\"3\"><d><id>x</id><total>3</total></d></album></r>"),
            0);
}

TEST_F(AlbumListDocumentTest, TotalFollowsAtoiAndMustBePositive) {
  auto count = [this](const std::string& total) {
    return Count("<r>" + Album("<id>x</id><name>n</name><total>" + total + "</total>") + "</r>");
  };
  EXPECT_EQ(count("0"), 0);
  EXPECT_EQ(count("-3"), 0);
  EXPECT_EQ(count("abc"), 0);
  EXPECT_EQ(count("15 photos"), 1);
  EXPECT_EQ(count(" +7"), 1);
  EXPECT_EQ(count("99999999999999999999"), 1);  // saturates instead of wrapping to <= 0
  EXPECT_EQ(count("-99999999999999999999"), 0);

  ASSERT_TRUE(Parse("<r>" + Album("<id>x</id><name>n</name><total>15 photos</total>") + "</r>"));
  EXPECT_EQ(Albums()[0]->m_photoCount, 15);
}

TEST_F(AlbumListDocumentTest, QuestionMattersOnlyByItsEmptiness) {
  ASSERT_TRUE(Parse("<r>" + Album("<id>1</id><name>a</name><total>1</total><question/>") +
                    Album("<id>2</id><name>b</name><total>1</total><question>q</question>") +
                    Album("<id>3</id><name>c</name><total>1</total><question>" +
                          std::string(300, 'q') + "</question>") +
                    "</r>"));
  ASSERT_EQ(Albums().size(), 3u);
  EXPECT_EQ(Albums()[0]->m_hasPassword, 0);
  EXPECT_EQ(Albums()[1]->m_hasPassword, 1);
  EXPECT_EQ(Albums()[2]->m_hasPassword, 1);
}

TEST_F(AlbumListDocumentTest, NamelessAlbumCountsButGivesNoRecordAndLeavesNoGap) {
  const std::string doc = "<r>" + Album("<id>1</id><name>a</name><total>1</total>") +
                          Album("<id>2</id><total>5</total>") +
                          Album("<id></id><name>b</name><total>1</total>") +
                          Album("<id>4</id><name><![CDATA[   ]]></name><total>2</total>") + "</r>";
  EXPECT_EQ(Count(doc), 3);
  ASSERT_TRUE(Parse(doc));
  ASSERT_EQ(Albums().size(), 2u);
  EXPECT_EQ(Albums()[1]->m_albumId, "4");
  EXPECT_EQ(Albums()[1]->m_index, 1);
  // Blanks only (TinyXML drops plain white space, but keeps it in a CDATA section):
  // listed with an empty name.
  EXPECT_EQ(Albums()[1]->m_name, "");
}

TEST_F(AlbumListDocumentTest, LaterChildOfTheSameNameWins) {
  ASSERT_TRUE(Parse("<r>" +
                    Album("<id>old</id><id>new</id><name>a</name><name>b</name>"
                          "<total>1</total><total>4</total>") +
                    "</r>"));
  EXPECT_EQ(Albums()[0]->m_albumId, "new");
  EXPECT_EQ(Albums()[0]->m_name, "b");
  EXPECT_EQ(Albums()[0]->m_photoCount, 4);
  EXPECT_EQ(Count("<r>" + Album("<id>x</id><total>4</total><id/>") + "</r>"), 0);
}

TEST_F(AlbumListDocumentTest, OverlongIdMakesAlbumUnusableAndOverlongNameIsCutWhole) {
  const std::string id127(127, 'i');
  EXPECT_EQ(Count("<r>" + Album("<id>" + id127 + "</id><total>1</total>") + "</r>"), 1);
  EXPECT_EQ(Count("<r>" + Album("<id>" + id127 + "i</id><total>1</total>") + "</r>"), 0);

  // 42 three-byte characters are 126 bytes; one more would reach 129: the cut keeps 126.
  std::string name;
  for (int i = 0; i < 45; ++i) {
    name += "\xE7\x9B\xB8";
  }
  ASSERT_TRUE(Parse("<r>" + Album("<id>1</id><name>" + name + "</name><total>1</total>") + "</r>"));
  EXPECT_EQ(Albums()[0]->m_name, name.substr(0, 126));
  EXPECT_EQ(AnsiToWide(Albums()[0]->m_name), std::wstring(42, L'相'));
}

TEST_F(AlbumListDocumentTest, ElementWhoseFirstChildIsNotTextHasNoText) {
  EXPECT_EQ(Count("<r>" + Album("<id><b>x</b></id><total>1</total>") + "</r>"), 0);
  ASSERT_TRUE(Parse("<r>" +
                    Album("<id>1</id><name>a</name><total>1</total>"
                          "<question><!-- c -->q</question>") +
                    "</r>"));
  EXPECT_EQ(Albums()[0]->m_hasPassword, 0);
}

TEST_F(AlbumListDocumentTest, UnreadableDocumentsListNothingAndAreDeleted) {
  const std::vector<std::string> documents = {
      "",
      "<?xml version=\"1.0\"?><!-- no root -->",
      "<r><album><id>1</id>",  // cut off
      "not xml at all",
      std::string(100000, '<'),
      "<r>" + std::string(5000, 'x') + "</r>",
  };
  for (const std::string& doc : documents) {
    EXPECT_EQ(Count(doc), 0) << doc.substr(0, 40);
    EXPECT_FALSE(std::filesystem::exists(m_file));
    EXPECT_FALSE(Parse(doc)) << doc.substr(0, 40);
    EXPECT_FALSE(std::filesystem::exists(m_file));
  }
  EXPECT_TRUE(Albums().empty());
  EXPECT_EQ(CountAlbumsInFile((m_dir.Path() / "missing.xml").string()), 0);
  EXPECT_FALSE(ParseAlbumListFile((m_dir.Path() / "missing.xml").string()));
}

TEST_F(AlbumListDocumentTest, DeeplyNestedDocumentIsRefusedWithoutCrashing) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) {
    deep += "<a>";
  }
  const std::string doc = "<r>" + Album("<id>1</id><name>a</name><total>1</total>") + deep + "</r>";
  EXPECT_EQ(Count(doc), 0);
  EXPECT_FALSE(Parse(doc));
  EXPECT_FALSE(std::filesystem::exists(m_file));
}

TEST_F(AlbumListDocumentTest, ParseAppendsWithoutEmptyingTheList) {
  const std::string doc = "<r>" + Album("<id>1</id><name>a</name><total>1</total>") + "</r>";
  ASSERT_TRUE(Parse(doc));
  ASSERT_TRUE(Parse(doc));
  ASSERT_EQ(Albums().size(), 2u);
  EXPECT_EQ(Albums()[1]->m_index, 0);  // numbering starts again with each document
}

TEST_F(AlbumListDocumentTest, TextAfterAZeroByteIsIgnoredAsWhenTinyXmlLoadsAFile) {
  const std::string doc = "<r>" + Album("<id>1</id><name>a</name><total>1</total>") + "</r>";
  ASSERT_TRUE(Parse(doc + std::string(1, '\0') + "<<garbage"));
  EXPECT_EQ(Albums().size(), 1u);
}

}  // namespace
