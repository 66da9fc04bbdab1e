#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Runs a test body under a chosen process code page and restores the locale's afterwards.
class CodePageTest : public ::testing::Test {
 protected:
  void TearDown() override { SetProcessCodePage(""); }
};

TEST_F(CodePageTest, AsciiOrUnsetLocaleCountsAsUtf8) {
  SetProcessCodePage("");
  EXPECT_EQ(ProcessCodePage(), "UTF-8");  // the test runs in the C locale
}

TEST_F(CodePageTest, Utf8ConversionsRoundTripAndStopAtZero) {
  SetProcessCodePage("UTF-8");
  EXPECT_EQ(AnsiToWide("\xE7\x9B\xB8\xE5\x86\x8C abc"), L"相册 abc");
  EXPECT_EQ(WideToAnsi(L"相册 abc"), "\xE7\x9B\xB8\xE5\x86\x8C abc");
  EXPECT_EQ(AnsiToWide(std::string_view("ab\0cd", 5)), L"ab");
  EXPECT_EQ(WideToAnsi(std::wstring_view(L"ab\0cd", 5)), "ab");
  EXPECT_EQ(AnsiToWide(""), L"");
}

TEST_F(CodePageTest, BytesThatFormNoCharacterBecomeReplacementCharacters) {
  SetProcessCodePage("UTF-8");
  EXPECT_EQ(AnsiToWide("a\xFF"
                       "b"),
            L"a\xFFFD"
            L"b");
  EXPECT_EQ(AnsiToWide("a\xE7\x9B"), L"a\xFFFD\xFFFD");  // cut off at the end
}

TEST_F(CodePageTest, LegacyCodePageConvertsAndMarksWhatItCannotHold) {
  SetProcessCodePage("GBK");
  EXPECT_EQ(AnsiToWide("\xCF\xE0\xB2\xE1"), L"相册");
  EXPECT_EQ(WideToAnsi(L"相册"), "\xCF\xE0\xB2\xE1");
  EXPECT_EQ(WideToAnsi(L"a\x263A"
                       L"b"),
            "a?b");                                            // no smiling face in GBK
  EXPECT_EQ(WideToUtf8(L"相册"), "\xE7\x9B\xB8\xE5\x86\x8C");  // file names stay UTF-8
}

TEST_F(CodePageTest, BufferFormWritesOnlyTheConvertedUnitsWithinCapacity) {
  SetProcessCodePage("UTF-8");
  wchar_t buffer[6];
  std::fill(std::begin(buffer), std::end(buffer), L'#');
  EXPECT_EQ(AnsiToWide("abc", buffer, 5), 3u);
  EXPECT_EQ(std::wstring(buffer, 6), L"abc###");
  EXPECT_EQ(AnsiToWide("abcdefgh", buffer, 4), 4u);
  EXPECT_EQ(std::wstring(buffer, 6), L"abcd##");
}

TEST_F(CodePageTest, FixedFieldIsZeroFilledAndNeverOverrun) {
  SetProcessCodePage("UTF-8");
  AnsiField field;
  field.fill('x');
  EXPECT_TRUE(WideToAnsi(L"", field));
  EXPECT_TRUE(std::all_of(field.begin(), field.end(), [](char c) { return c == '\0'; }));

  field.fill('x');
  EXPECT_TRUE(WideToAnsi(L"/home/u/Res/1.xml", field));
  EXPECT_STREQ(field.data(), "/home/u/Res/1.xml");
  EXPECT_TRUE(std::all_of(field.begin() + 17, field.end(), [](char c) { return c == '\0'; }));

  EXPECT_TRUE(WideToAnsi(std::wstring(259, L'a'), field));
  EXPECT_EQ(field[258], 'a');
  EXPECT_EQ(field[259], '\0');

  // 87 characters of three bytes each: 261 bytes do not fit with a terminator.
  field.fill('x');
  EXPECT_FALSE(WideToAnsi(std::wstring(87, L'相'), field));
  EXPECT_TRUE(std::all_of(field.begin(), field.end(), [](char c) { return c == '\0'; }));
}

TEST_F(CodePageTest, PrefixLengthNeverSplitsACharacter) {
  SetProcessCodePage("UTF-8");
  const std::string text = "ab\xE7\x9B\xB8\xE5\x86\x8C";  // ab相册
  EXPECT_EQ(AnsiPrefixLength(text, 100), text.size());
  EXPECT_EQ(AnsiPrefixLength(text, 5), 5u);
  EXPECT_EQ(AnsiPrefixLength(text, 4), 2u);
  EXPECT_EQ(AnsiPrefixLength(text, 7), 5u);
  EXPECT_EQ(AnsiPrefixLength("a\xFF\xFF"
                             "bc",
                             4),
            4u);  // stray bytes count one each

  SetProcessCodePage("GBK");
  const std::string gbk = "a\xCF\xE0\xB2\xE1";  // a相册
  EXPECT_EQ(AnsiPrefixLength(gbk, 4), 3u);
  EXPECT_EQ(AnsiPrefixLength(gbk, 2), 1u);
}

}  // namespace
