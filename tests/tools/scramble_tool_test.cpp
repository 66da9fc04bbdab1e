#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdio>
#include <string>

namespace {

struct Result {
  int exitCode;
  std::string out;
};

Result RunTool(const std::string& arguments) {
  const std::string command = std::string(SCRAMBLE_TOOL) + " " + arguments + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buffer[256];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
    out.append(buffer, n);
  }
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(ScrambleToolTest, EncodesAndDecodesWithTheDefaultOrAGivenSeed) {
  EXPECT_EQ(RunTool("encode AB").out, "A005\n");
  EXPECT_EQ(RunTool("decode A005").out, "AB\n");
  EXPECT_EQ(RunTool("--seed 0x12345 encode A").out, "5B\n");
  EXPECT_EQ(RunTool("--seed 74565 decode 5B").out, "A\n");
  const Result chinese = RunTool("encode '勾选的相册已全部下载完成。'");
  EXPECT_EQ(chinese.out,
            "045497A391F3B4CD9CFF9B1C05D4B736CAA401E402FEF00058B1A1BE58060B8937B2DFF41A8703\n");
  EXPECT_EQ(RunTool("decode " + chinese.out.substr(0, chinese.out.size() - 1)).out,
            "勾选的相册已全部下载完成。\n");
}

TEST(ScrambleToolTest, RefusesWrongUse) {
  EXPECT_EQ(RunTool("").exitCode, 2);
  EXPECT_EQ(RunTool("encode").exitCode, 2);
  EXPECT_EQ(RunTool("rot13 abc").exitCode, 2);
  EXPECT_EQ(RunTool("--seed xyz encode a").exitCode, 2);
  EXPECT_EQ(RunTool("--seed").exitCode, 2);
}

}  // namespace
