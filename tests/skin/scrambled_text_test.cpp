#include "skin/scrambled_text.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/code_page.h"
#include "skin/notices.h"

namespace {

class ScrambledTextTest : public ::testing::Test {
 protected:
  void SetUp() override { SetProcessCodePage("UTF-8"); }
  void TearDown() override { SetProcessCodePage(""); }
};

TEST_F(ScrambledTextTest, StoredNoticesReadAsTheirWording) {
  EXPECT_EQ(UnscrambleText(kNoticeEmptyList, kScrambleSeed),
            L"列表中还没有相册，请先输入用户号码获取相册列表。");
  EXPECT_EQ(UnscrambleText(kNoticeRunFinished, kScrambleSeed),
            L"下载结束：%d 个相册已完成，%d 个未完成。");
  EXPECT_EQ(FormatCounts(UnscrambleText(kNoticeRunFinished, kScrambleSeed), 3, 0),
            L"下载结束：3 个相册已完成，0 个未完成。");
  EXPECT_EQ(FormatCounts(L"%d of %d, %d", 1, 2), L"1 of 2, %d");
  EXPECT_EQ(UnscrambleText(kNoticeReloadFailed, kScrambleSeed),
            L"登录后仍无法读取相册列表，请稍后再试。");
  EXPECT_EQ(UnscrambleText(kNoticeUnreachable, kScrambleSeed),
            L"无法连接相册服务器，请检查网络后重试。");
  // A wrong seed garbles the text instead of failing.
  EXPECT_NE(UnscrambleText(kNoticeRunFinished, 0x1234),
            L"下载结束：%d 个相册已完成，%d 个未完成。");
}

TEST_F(ScrambledTextTest, ScrambleFollowsTheKeyRule) {
  // Worked by hand: key 0x5C2D gives mask 0xE1; 'A' ^ 0xE1 = 0xA0; the next key is
  // ((65 + 0x5C2D) * 0x1E67 - 0x2B49) & 0xFFFF = 0xC8B0, mask 0x45; 'B' ^ 0x45 = 0x07... as
  // an independent implementation of the rule computed: "A005".
  EXPECT_EQ(ScrambleText("AB", kScrambleSeed), "A005");
  EXPECT_EQ(ScrambleText("\x80\xFF", kScrambleSeed), "6115");  // the key takes bytes as signed
  EXPECT_EQ(ScrambleText("A", 0x12345), "5B");                 // bits above the mask are ignored
  EXPECT_EQ(ScrambleText("", kScrambleSeed), "");
}

TEST_F(ScrambledTextTest, UnscrambleUndoesScrambleForRandomAsciiTexts) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::string plain(1 + random() % 200, '\0');
    for (char& c : plain) {
      c = static_cast<char>(1 + random() % 127);  // ASCII without zero
    }
    const uint32_t seed = random();
    const std::string hex = ScrambleText(plain, seed);
    EXPECT_EQ(UnscrambleText(AnsiToWide(hex), seed), AnsiToWide(plain));
  }
}

TEST_F(ScrambledTextTest, EdgesOfTheStoredForm) {
  EXPECT_EQ(UnscrambleText(L"", kScrambleSeed), L"");

  // An odd last digit forms one more byte that is not unscrambled.
  EXPECT_EQ(UnscrambleText(AnsiToWide(ScrambleText("AB", kScrambleSeed) + "7"), kScrambleSeed),
            L"AB\x07");

  // A produced zero byte ends the text.
  EXPECT_EQ(UnscrambleText(AnsiToWide(ScrambleText(std::string("AB\0CD", 5), kScrambleSeed)),
                           kScrambleSeed),
            L"AB");

  // Only the first 512 digits count.
  const std::string long_plain(300, 'x');
  const std::wstring long_text =
      UnscrambleText(AnsiToWide(ScrambleText(long_plain, kScrambleSeed)), kScrambleSeed);
  EXPECT_EQ(long_text, std::wstring(256, L'x'));

  // Pairs are read as strtol reads base 16: " F" is 0F, "-1" is FF, "zz" is 00.
  EXPECT_EQ(UnscrambleText(L" F41", kScrambleSeed), UnscrambleText(L"0F41", kScrambleSeed));
  EXPECT_EQ(UnscrambleText(L"-141", kScrambleSeed), UnscrambleText(L"FF41", kScrambleSeed));
  EXPECT_EQ(UnscrambleText(L"zz41", kScrambleSeed), UnscrambleText(L"0041", kScrambleSeed));
  EXPECT_NE(UnscrambleText(L"0141", kScrambleSeed), UnscrambleText(L"0041", kScrambleSeed));
}

}  // namespace
