// The program's command line: its parsing, and the real executable backing up a user's albums
// over the sample service without a display.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <set>
#include <thread>

#include "app/command_line.h"
#include "download/download_archive.h"
#include "platform/code_page.h"
#include "support/service_fixture.h"
#include "support/spawn_with_home.h"
#include "support/temp_dir.h"

namespace {

TEST(CommandLineTest, ArgumentsAreReadOrRefusedWithTheReason) {
  std::string error;
  EXPECT_EQ(ParseCommandLine({}, &error)->action, CommandLine::Action::kWindow);
  EXPECT_EQ(ParseCommandLine({"--help"}, &error)->action, CommandLine::Action::kHelp);
  EXPECT_EQ(ParseCommandLine({"--version"}, &error)->action, CommandLine::Action::kVersion);
  const auto full = ParseCommandLine(
      {"--backup", "10001", "--albums", "a1,,b2", "--out", "/x", "--connections", "8"}, &error);
  ASSERT_TRUE(full.has_value()) << error;
  EXPECT_EQ(full->uin, 10001);
  EXPECT_EQ(full->albumIds, (std::vector<std::string>{"a1", "b2"}));
  EXPECT_EQ(full->outFolder, "/x");
  EXPECT_EQ(full->connections, 8);
  EXPECT_TRUE(ParseCommandLine({"--backup", "10001", "--albums", "all"}, &error)->albumIds.empty());

  const std::vector<std::vector<std::string>> refused = {
      {"--bogus"},
      {"--backup"},
      {"--backup", "9999"},
      {"--backup", "12ab"},
      {"--backup", "99999999999"},
      {"--backup", "10001", "--connections", "9"},
      {"--backup", "10001", "--connections", "0"},
      {"--backup", "10001", "--albums"},
      {"--backup", "10001", "--albums", ","},
      {"--backup", "10001", "--out", ""},
      {"--backup", "10001", "--colour", "red"},
      {"--help", "--version"},
  };
  for (const auto& arguments : refused) {
    error.clear();
    EXPECT_FALSE(ParseCommandLine(arguments, &error).has_value()) << arguments[0];
    EXPECT_FALSE(error.empty());
  }
}

// The real program in a folder of its own, with a service.ini pointing at the test's service.
class ProgramCommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(ZP_PROGRAM, m_exe.Path() / "zupictrove");
    std::filesystem::permissions(m_exe.Path() / "zupictrove", std::filesystem::perms::owner_all);
    m_exe.Write("service.ini", m_service.ServiceIni());
  }

  // Runs the program to its end; its exit status, and what it printed.
  int Run(const std::vector<std::string>& arguments, std::string* output = nullptr) {
    const std::filesystem::path out = m_home.Path() / "stdout";
    std::vector<std::string> shell = {"-c", "exec \"$0\" \"$@\" > '" + out.string() + "' 2>&1",
                                      (m_exe.Path() / "zupictrove").string()};
    shell.insert(shell.end(), arguments.begin(), arguments.end());
    const pid_t pid = SpawnWithHome("/bin/sh", shell, m_home.Path());
    int status = 0;
    waitpid(pid, &status, 0);
    if (output != nullptr) {
      *output = ReadFileBytes(out);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  std::filesystem::path Album(const std::string& name) const {
    return m_out.Path() / "10041" / name;
  }

  TempDir m_exe;
  TempDir m_home;
  TempDir m_out;
  ServiceFixture m_service;
};

TEST_F(ProgramCommandLineTest, HelpVersionAndBadArgumentsNeedNoDisplay) {
  std::string output;
  EXPECT_EQ(Run({"--help"}, &output), 0);
  EXPECT_NE(output.find("--backup UIN"), std::string::npos);
  EXPECT_EQ(Run({"--version"}, &output), 0);
  EXPECT_EQ(output.rfind("zupictrove ", 0), 0u);
  EXPECT_EQ(Run({"--backup", "12"}, &output), 2);
  EXPECT_NE(output.find("not a user number"), std::string::npos);
}

TEST_F(ProgramCommandLineTest, ABackupSavesTheChosenAlbumsAndSaysWhetherAllCompleted) {
  const FixtureAlbum secret("p1", "Secret", 2, true);
  m_service.ServeUser(10041, {{"a1", "Trip", 3, false, "", 2000},
                              {"a2", "Trip", 2, false, "", 3000},
                              secret,
                              {"a4", "Broken", 2, false, "status500"}});
  std::string output;
  EXPECT_EQ(
      Run({"--backup", "10041", "--albums", "a1,a2", "--out", m_out.Path().string()}, &output), 0)
      << output;
  EXPECT_EQ(std::filesystem::file_size(Album("Trip") / "photo2.jpg"), 2000u);
  EXPECT_EQ(std::filesystem::file_size(Album("Trip_1") / "photo1.jpg"), 3000u);
  EXPECT_NE(output.find("Trip: 3/3 photos"), std::string::npos) << output;
  EXPECT_NE(output.find("2 albums completed, 0 not"), std::string::npos) << output;

  // All albums, one photo at a time: the password album's page is not in the web cache and the
  // broken list fails, so not every album completed.
  EXPECT_EQ(
      Run({"--backup", "10041", "--out", m_out.Path().string(), "--connections", "1"}, &output), 1)
      << output;
  EXPECT_NE(output.find("Secret: skipped"), std::string::npos) << output;
  EXPECT_NE(output.find("2 albums completed, 2 not"), std::string::npos) << output;
  EXPECT_FALSE(std::filesystem::exists(Album("Secret")));
  EXPECT_FALSE(std::filesystem::exists(Album("Broken")));
}

TEST_F(ProgramCommandLineTest, CtrlCStopsABackupAtOnceWithoutAHalfWrittenPhoto) {
  m_service.ServeUser(10041, {{"s1", "Slow", 4, false, "", 50u << 20, "slow"}});
  const std::filesystem::path out = m_home.Path() / "stdout";
  const pid_t pid = SpawnWithHome(
      "/bin/sh",
      {"-c", "exec \"$0\" \"$@\" > '" + out.string() + "' 2>&1",
       (m_exe.Path() / "zupictrove").string(), "--backup", "10041", "--out", m_out.Path().string()},
      m_home.Path());
  // Once the first photo is under way (its temporary file is there), Ctrl+C.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  std::error_code ec;
  while (std::chrono::steady_clock::now() < deadline &&
         (!std::filesystem::exists(Album("Slow"), ec) ||
          std::filesystem::is_empty(Album("Slow"), ec))) {
    std::this_thread::yield();
  }
  ASSERT_FALSE(std::filesystem::is_empty(Album("Slow"), ec)) << "the download never began";
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  // No photo half-written: what is left is the large photos' part files, kept to be resumed.
  std::string error;
  const auto archive = DownloadArchive::Open(m_out.Path(), &error);
  ASSERT_NE(archive, nullptr) << error;
  std::set<std::string> kept;
  for (const PartRecord& part : archive->Parts(10041, "s1")) {
    kept.insert(WideToUtf8(part.partName));
  }
  for (const auto& entry : std::filesystem::directory_iterator(Album("Slow"))) {
    EXPECT_EQ(kept.count(entry.path().filename().string()), 1u) << entry.path();
  }
  EXPECT_NE(ReadFileBytes(out).find("stopped"), std::string::npos);
}

}  // namespace
