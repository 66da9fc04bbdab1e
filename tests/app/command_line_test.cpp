// The program's command line: its parsing, and the real executable backing up a user's albums
// over the sample service without a display.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "app/command_line.h"
#include "download/album_job.h"
#include "download/album_lock.h"
#include "download/download_archive.h"
#include "platform/code_page.h"
#include "platform/url_download.h"
#include "support/service_fixture.h"
#include "support/spawn_with_home.h"
#include "support/temp_dir.h"

namespace {

// What identifies a file on disk: the same inode with the same bytes is the very same file.
struct Identity {
  ino_t inode = 0;
  std::string bytes;
  bool operator==(const Identity&) const = default;
};

// Every entry of `folder` by name (a folder's bytes are empty); empty when there is no folder.
std::map<std::string, Identity> Identities(const std::filesystem::path& folder) {
  std::map<std::string, Identity> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    struct stat info {};
    EXPECT_EQ(lstat(entry.path().c_str(), &info), 0) << entry.path();
    files[entry.path().filename().string()] = {
        info.st_ino, S_ISREG(info.st_mode) ? ReadFileBytes(entry.path()) : std::string()};
  }
  return files;
}

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
  const auto list = ParseCommandLine({"--list", "10001"}, &error);
  ASSERT_TRUE(list.has_value()) << error;
  EXPECT_EQ(list->action, CommandLine::Action::kList);
  EXPECT_EQ(list->uin, 10001);

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
      {"--list"},
      {"--list", "99999999999"},
      {"--list", "10001", "10002"},
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

  // Requests the service has had whose path starts with `prefix` since the last call.
  int Requests(const std::string& prefix = "/img/") {
    return m_service.Service().TakeRequestCount(prefix);
  }

  // The last line the program printed for the album `name` ("<name>: ...").
  static std::string LastLineOf(const std::string& output, const std::string& name) {
    std::string last;
    for (const std::string& line : Lines(output)) {
      if (line.starts_with(name + ": ")) {
        last = line;
      }
    }
    return last;
  }

  static std::vector<std::string> Lines(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream stream(output);
    for (std::string line; std::getline(stream, line);) {
      lines.push_back(line);
    }
    return lines;
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

TEST_F(ProgramCommandLineTest, AReRunFetchesOnlyWhatIsMissingAndKeepsEveryFile) {
  m_service.ServeUser(10041, {{"a1", "Trip", 3, false, "", 2000}});
  const std::string out = m_out.Path().string();
  std::string output;
  ASSERT_EQ(Run({"--backup", "10041", "--out", out}, &output), 0) << output;
  EXPECT_EQ(LastLineOf(output, "Trip").substr(0, 16), "Trip: 3/3 photos") << output;
  EXPECT_TRUE(LastLineOf(output, "Trip").ends_with("completed (3 new, 0 already there, 0 failed)"))
      << output;
  const auto first = Identities(Album("Trip"));
  ASSERT_EQ(first.size(), 3u);
  EXPECT_EQ(first.at("photo1.jpg").bytes.size(), 2000u);

  // Nothing changed: not one photo is asked for, and every file stays the very same file.
  Requests();
  ASSERT_EQ(Run({"--backup", "10041", "--out", out}, &output), 0) << output;
  EXPECT_EQ(Requests(), 0);
  EXPECT_EQ(Identities(Album("Trip")), first);
  EXPECT_TRUE(LastLineOf(output, "Trip").ends_with("completed (0 new, 3 already there, 0 failed)"))
      << output;

  // A photo deleted and a note of the user's own: the photo alone comes back, the note stays.
  std::filesystem::remove(Album("Trip") / "photo1.jpg");
  m_out.Write("10041/Trip/note.txt", "my own note");
  const auto kept = Identities(Album("Trip"));
  ASSERT_EQ(Run({"--backup", "10041", "--out", out}, &output), 0) << output;
  EXPECT_EQ(Requests(), 1);
  EXPECT_TRUE(LastLineOf(output, "Trip").ends_with("completed (1 new, 2 already there, 0 failed)"))
      << output;
  const auto after = Identities(Album("Trip"));
  EXPECT_EQ(after.size(), 4u);
  for (const auto& [name, identity] : kept) {
    EXPECT_EQ(after.count(name) != 0 ? after.at(name) : Identity{}, identity) << name;
  }
  ASSERT_EQ(after.count("photo1.jpg"), 1u);
  EXPECT_EQ(after.at("photo1.jpg").bytes, first.at("photo1.jpg").bytes);
}

TEST_F(ProgramCommandLineTest, VerifyNamesEveryMissingOrChangedFileOfTheChosenUser) {
  m_service.ServeUser(10041, {{"a1", "Trip", 3, false, "", 2000}});
  m_service.ServeUser(10042, {{"b1", "Home", 2, false, "", 3000}});
  const std::string out = m_out.Path().string();
  std::string output;
  ASSERT_EQ(Run({"--backup", "10041", "--out", out}, &output), 0) << output;
  ASSERT_EQ(Run({"--backup", "10042", "--out", out}, &output), 0) << output;
  EXPECT_EQ(Run({"--verify", "--out", out}, &output), 0) << output;
  EXPECT_EQ(Lines(output), (std::vector<std::string>{"5 photos checked, 0 missing or changed"}));

  // One photo with a byte flipped (the same size), one deleted, one a byte longer.
  const std::filesystem::path trip =
      std::filesystem::absolute(m_out.Path()).lexically_normal() / "10041" / "Trip";
  std::string bytes = ReadFileBytes(trip / "photo0.jpg");
  bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x40);
  m_out.Write("10041/Trip/photo0.jpg", bytes);
  std::filesystem::remove(trip / "photo2.jpg");
  m_out.Write("10041/Trip/photo1.jpg", ReadFileBytes(trip / "photo1.jpg") + "x");
  const std::set<std::string> problems = {
      (trip / "photo0.jpg").string() + ": changed (content)",
      (trip / "photo2.jpg").string() + ": missing",
      (trip / "photo1.jpg").string() + ": changed (size)",
  };

  EXPECT_EQ(Run({"--verify", "10041", "--out", out}, &output), 1) << output;
  std::vector<std::string> lines = Lines(output);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "3 photos checked, 3 missing or changed");
  lines.pop_back();
  EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), problems) << output;
  EXPECT_EQ(lines.size(), 3u) << output;

  // The other user's photos are sound; all users together are not.
  EXPECT_EQ(Run({"--verify", "10042", "--out", out}, &output), 0) << output;
  EXPECT_EQ(Lines(output), (std::vector<std::string>{"2 photos checked, 0 missing or changed"}));
  EXPECT_EQ(Run({"--verify", "--out", out}, &output), 1) << output;
  EXPECT_NE(output.find("5 photos checked, 3 missing or changed"), std::string::npos) << output;

  // Bad arguments; a folder without an archive is not sound.
  EXPECT_EQ(Run({"--verify", "12"}, &output), 2) << output;
  EXPECT_EQ(Run({"--verify", "--albums", "x"}, &output), 2) << output;
  EXPECT_EQ(Run({"--verify", "10041", "--out", out, "--connections", "2"}, &output), 2) << output;
  TempDir empty;
  EXPECT_EQ(Run({"--verify", "--out", empty.Path().string()}, &output), 1) << output;
  EXPECT_NE(output.find("no download archive"), std::string::npos) << output;
}

TEST_F(ProgramCommandLineTest, AnAlbumAnotherCopyHoldsIsLeftAlone) {
  m_service.ServeUser(10041, {{"a1", "Trip", 3, false, "", 2000}});
  const std::string out = m_out.Path().string();
  std::string output;
  AlbumLock::Result result = AlbumLock::Result::kFailed;
  {
    // Held before the album was ever saved: its folder is not even made.
    const auto lock = AlbumLock::TryTake(m_out.Path(), 10041, "a1", &result);
    ASSERT_EQ(result, AlbumLock::Result::kTaken);
    Requests();
    EXPECT_EQ(Run({"--backup", "10041", "--out", out}, &output), 1) << output;
    EXPECT_EQ(LastLineOf(output, "Trip"), "Trip: in use by another copy of zupictrove") << output;
    EXPECT_NE(output.find("0 albums completed, 1 not"), std::string::npos) << output;
    EXPECT_FALSE(std::filesystem::exists(Album("Trip")));
    EXPECT_EQ(Requests(), 0);
  }
  ASSERT_EQ(Run({"--backup", "10041", "--out", out}, &output), 0) << output;

  // Held again once the album is there, with a photo gone: nothing in its folder changes.
  std::filesystem::remove(Album("Trip") / "photo0.jpg");
  const auto before = Identities(Album("Trip"));
  {
    const auto lock = AlbumLock::TryTake(m_out.Path(), 10041, "a1", &result);
    ASSERT_EQ(result, AlbumLock::Result::kTaken);
    Requests();
    EXPECT_EQ(Run({"--backup", "10041", "--out", out}, &output), 1) << output;
    EXPECT_EQ(LastLineOf(output, "Trip"), "Trip: in use by another copy of zupictrove") << output;
    EXPECT_EQ(Identities(Album("Trip")), before);
    EXPECT_EQ(Requests(), 0);
  }
  EXPECT_EQ(Run({"--backup", "10041", "--out", out}, &output), 0) << output;
  EXPECT_TRUE(LastLineOf(output, "Trip").ends_with("completed (1 new, 2 already there, 0 failed)"))
      << output;
  EXPECT_TRUE(std::filesystem::exists(Album("Trip") / "photo0.jpg"));
}

TEST_F(ProgramCommandLineTest, AnEmptyPhotoListOfAnAlbumWithPhotosIsNotACompletedAlbum) {
  m_service.ServeUser(10041, {{"a1", "Trip", 3, false, "", 2000}});
  const std::string out = m_out.Path().string();
  std::string output;
  ASSERT_EQ(Run({"--backup", "10041", "--out", out}, &output), 0) << output;
  const auto before = Identities(Album("Trip"));
  ASSERT_EQ(before.size(), 3u);

  // The album list still counts three photos; its photo list now gives none.
  m_service.m_files.Write("p1/photos/10041/" + WideToUtf8(PhotoListFileName("a1")) + ".xml",
                          "<?xml version=\"1.0\"?><data></data>");
  Requests();
  EXPECT_EQ(Run({"--backup", "10041", "--out", out}, &output), 1) << output;
  EXPECT_NE(LastLineOf(output, "Trip").find("its photo list could not be read"), std::string::npos)
      << output;
  EXPECT_NE(output.find("0 albums completed, 1 not"), std::string::npos) << output;
  EXPECT_EQ(Requests(), 0);
  EXPECT_EQ(Identities(Album("Trip")), before);
  EXPECT_EQ(Run({"--verify", "10041", "--out", out}, &output), 0) << output;
  EXPECT_NE(output.find("3 photos checked, 0 missing or changed"), std::string::npos) << output;
}

TEST_F(ProgramCommandLineTest, AListGivesTheIdsThatBackupsTake) {
  m_service.ServeUser(10041, {{"a1", "Trip", 3}, {"p1", "Secret", 2, true}});
  std::string output;
  EXPECT_EQ(Run({"--list", "10041"}, &output), 0) << output;
  EXPECT_EQ(output, "a1\tnormal\t3\tTrip\np1\tpassword\t2\tSecret\n");
  EXPECT_EQ(Run({"--list", "10099"}, &output), 1);  // a user the service lists nothing for
  EXPECT_NE(output.find("signing in"), std::string::npos) << output;
  EXPECT_EQ(Run({"--list", "12"}, &output), 2);
}

}  // namespace
