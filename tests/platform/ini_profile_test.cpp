#include "platform/ini_profile.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

constexpr const char* kNotFound = "<not found>";

class IniProfileTest : public ::testing::Test {
 protected:
  std::filesystem::path Ini(std::string_view bytes) { return m_dir.Write("config.ini", bytes); }
  std::string Read(std::string_view section, std::string_view key) {
    const IniLookup lookup = ReadIniString(m_dir.Path() / "config.ini", section, key);
    if (lookup.status == IniStatus::kNotFound) {
      return kNotFound;
    }
    EXPECT_TRUE(lookup.Found());
    return lookup.value;
  }
  // The file after storing one value, or "<refused>".
  std::string AfterWrite(std::string_view section, std::string_view key, std::string_view value) {
    const std::filesystem::path path = m_dir.Path() / "config.ini";
    return WriteIniString(path, section, key, value) ? ReadFileBytes(path) : "<refused>";
  }
  TempDir m_dir;
};

TEST_F(IniProfileTest, ReadsLikeAProfileDespiteOddLines) {
  EXPECT_EQ(ReadIniString(m_dir.Path() / "config.ini", "info", "photo_dir").status,
            IniStatus::kMissing);
  Ini("\xEF\xBB\xBF"
      "photo_dir=/before/any/section\r\n"
      "this line fits no rule\r\n"
      "; photo_dir=/commented\r\n"
      "  [ Info ]  \r\n"
      "\tPhoto_Dir =  \"/my pics\"  \r\n"
      "PHOTO_DIR=/second\r\n"
      "single = 'a b'\r\n"
      "half=\"open\r\n"
      "empty=\r\n"
      "[other]\r\n"
      "late=/other\r\n"
      "[INFO]\r\n"
      "late=/later copy\r\n");
  EXPECT_EQ(Read("info", "photo_dir"), "/my pics");  // first match, quotes and blanks gone
  EXPECT_EQ(Read("iNfO", "SINGLE"), "a b");
  EXPECT_EQ(Read("info", "half"), "\"open");  // no matching pair: kept
  EXPECT_EQ(Read("info", "empty"), "");
  EXPECT_EQ(Read("info", "late"), "/later copy");  // a later copy of the section is searched
  EXPECT_EQ(Read("other", "photo_dir"), kNotFound);
  EXPECT_EQ(Read("info", "this line fits no rule"), kNotFound);
  EXPECT_EQ(Read("nowhere", "late"), kNotFound);
}

TEST_F(IniProfileTest, ReplacingAValueKeepsEveryOtherByte) {
  const std::string before =
      "\xEF\xBB\xBF# hash comment\r\n; semicolon\r\nstray line\r\n[other]\r\nphoto_dir=/x\r\n"
      "[Info]\r\n  Photo_Dir = /old  \r\nkeep=1\r\n";
  Ini(before);
  std::string expected = before;
  expected.replace(expected.find("/old  "), 6, "/new");
  EXPECT_EQ(AfterWrite("info", "photo_dir", "/new"), expected);
  EXPECT_EQ(Read("info", "photo_dir"), "/new");
}

TEST_F(IniProfileTest, AMissingKeyGoesIntoItsSectionAndAMissingSectionAtTheEnd) {
  // Into the first copy of the section, after its last non-blank line.
  Ini("[info]\na=1\n; last\n\n[other]\nb=2\n[Info]\nz=9");
  EXPECT_EQ(AfterWrite("INFO", "photo_dir", "/p"),
            "[info]\na=1\n; last\nphoto_dir=/p\n\n[other]\nb=2\n[Info]\nz=9");
  // The last line of the file has no line end: one is added before the new key.
  Ini("[other]\nb=2");
  EXPECT_EQ(AfterWrite("other", "c", "3"), "[other]\nb=2\nc=3");
  EXPECT_EQ(AfterWrite("info", "photo_dir", "/p"), "[other]\nb=2\nc=3\n[info]\nphoto_dir=/p\n");
  Ini("\xEF\xBB\xBF[info]\r\nb=2");  // the file's CR LF line ends are kept up
  EXPECT_EQ(AfterWrite("info", "photo_dir", "/p"), "\xEF\xBB\xBF[info]\r\nb=2\r\nphoto_dir=/p");
  std::filesystem::remove(m_dir.Path() / "config.ini");
  EXPECT_EQ(AfterWrite("info", "photo_dir", "/p"), "[info]\nphoto_dir=/p\n");
  Ini("\xEF\xBB\xBF");
  EXPECT_EQ(AfterWrite("info", "k", "v"), "\xEF\xBB\xBF[info]\nk=v\n");
}

TEST_F(IniProfileTest, ValuesReadBackAsWrittenAndLineBreaksAreRefused) {
  for (const std::string value : {" padded ", "\"quoted\"", "'single'", "", "C:\\a=b"}) {
    ASSERT_NE(AfterWrite("info", "k", value), "<refused>");
    EXPECT_EQ(Read("info", "k"), value);
  }
  const std::string before = ReadFileBytes(m_dir.Path() / "config.ini");
  EXPECT_EQ(AfterWrite("info", "k", "two\nlines"), "<refused>");
  EXPECT_EQ(AfterWrite("info", "a=b", "v"), "<refused>");
  EXPECT_EQ(AfterWrite("info", "", "v"), "<refused>");
  EXPECT_EQ(ReadFileBytes(m_dir.Path() / "config.ini"), before);
}

TEST_F(IniProfileTest, AFileThatCannotBeReadIsNeverReplaced) {
  // Tests run as root, whom permissions do not stop: a folder is a path that cannot be read.
  const std::filesystem::path path = m_dir.Path() / "config.ini";
  std::filesystem::create_directory(path);
  EXPECT_EQ(ReadIniString(path, "info", "photo_dir").status, IniStatus::kUnreadable);
  EXPECT_FALSE(WriteIniString(path, "info", "photo_dir", "/p"));
  EXPECT_TRUE(std::filesystem::is_directory(path));
  // Through a link, which a rename would replace without complaint.
  const std::filesystem::path link = m_dir.Path() / "link.ini";
  std::filesystem::create_directory_symlink(path, link);
  EXPECT_EQ(ReadIniString(link, "info", "photo_dir").status, IniStatus::kUnreadable);
  EXPECT_FALSE(WriteIniString(link, "info", "photo_dir", "/p"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  // A path under a file names nothing: missing, and not writable either.
  const std::filesystem::path file = m_dir.Write("plain", "x");
  EXPECT_EQ(ReadIniString(file / "sub.ini", "info", "k").status, IniStatus::kMissing);
  EXPECT_FALSE(WriteIniString(file / "sub.ini", "info", "k", "v"));
}

}  // namespace
