// The real program killed with SIGKILL at random moments of a backup, then run once more to its
// end: whatever the moment, the completing run leaves every photo that can be fetched whole and
// once, the archive sound and naming only whole files, and no part file behind.
//
// The moments come from a seed: ZP_RANDOM_SEED when it is set, a random one otherwise. A failure
// names its seed, and ZP_RANDOM_SEED=<seed> plays the same moments again.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "download/download_archive.h"
#include "platform/code_page.h"
#include "platform/url_download.h"
#include "support/service_fixture.h"
#include "support/spawn_with_home.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kUin = 10051;
constexpr int kRounds = 50;

// The user's albums: many quick photos, a few slow ones, one large enough that a broken transfer
// keeps its part file to resume, and a few that always fail.
const std::vector<FixtureAlbum>& Albums() {
  static const std::vector<FixtureAlbum> albums = {
      {"q1", "Quick", 20, false, "", 30000},
      {"s1", "Slow", 3, false, "", 8000, "slow"},
      {"l1", "Large", 1, false, "", 3u << 20},
      {"f1", "Failing", 3, false, "", 1000, "status500"},
  };
  return albums;
}

bool Fetchable(const FixtureAlbum& album) {
  return album.photoFault != "status500";
}

int FetchablePhotos() {
  int count = 0;
  for (const FixtureAlbum& album : Albums()) {
    count += Fetchable(album) ? album.photos : 0;
  }
  return count;
}

std::string PhotoFile(int index) {
  return "photo" + std::to_string(index) + ".jpg";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    lines.push_back(line);
  }
  return lines;
}

// The last line the program printed for the album `name` ("<name>: ...").
std::string LastLineOf(const std::string& output, const std::string& name) {
  std::string last;
  for (const std::string& line : Lines(output)) {
    if (line.starts_with(name + ": ")) {
      last = line;
    }
  }
  return last;
}

std::set<std::string> Entries(const std::filesystem::path& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// The first value of `sql` in the database at `file`, opened read-only; "error: ..." when it
// could not be read.
std::string QueryReadOnly(const std::filesystem::path& file, const char* sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    const std::string error = std::string("error: ") + sqlite3_errmsg(db);
    sqlite3_close(db);
    return error;
  }
  std::string value = "error: no row";
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
    value = std::string("error: ") + sqlite3_errmsg(db);
  } else if (sqlite3_step(statement) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(statement, 0);
    value = text != nullptr ? reinterpret_cast<const char*>(text) : "";
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return value;
}

class CrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(ZP_PROGRAM, m_exe.Path() / "zupictrove");
    std::filesystem::permissions(m_exe.Path() / "zupictrove", std::filesystem::perms::owner_all);
    m_exe.Write("service.ini", m_service.ServiceIni());
    m_service.ServeUser(kUin, Albums());
    FetchExpectedBytes();
  }

  // The bytes of every photo that can be fetched, straight from the service. On a thread of its
  // own, whose connections close when it ends (the service answers only eight at once).
  void FetchExpectedBytes() {
    std::vector<DownloadItem> items;
    std::vector<std::pair<std::string, std::string>> keys;  // album name, file name
    for (const FixtureAlbum& album : Albums()) {
      for (int i = 0; Fetchable(album) && i < album.photos; ++i) {
        const std::string url =
            m_service.ImageUrl(album.photoBytes, std::to_string(i), album.photoFault);
        const std::filesystem::path file =
            m_home.Path() / ("expected-" + album.id + "-" + std::to_string(i));
        items.push_back({Utf8ToWide(url), Utf8ToWide(file.string())});
        keys.emplace_back(album.name, PhotoFile(i));
      }
    }
    std::vector<HRESULT> results(items.size(), E_FAIL);
    std::thread([&] {
      DownloadMany(items, 4, kPhotoTransfer, nullptr,
                   [&](size_t index, HRESULT result) { results[index] = result; });
    }).join();
    for (size_t i = 0; i < items.size(); ++i) {
      ASSERT_EQ(results[i], S_OK) << WideToUtf8(items[i].url);
      m_expected[keys[i].first][keys[i].second] =
          ReadFileBytes(std::filesystem::path(WideToUtf8(items[i].path)));
    }
  }

  // Requests the service has had whose path starts with `prefix` since the last call.
  int Requests(const std::string& prefix) { return m_service.Service().TakeRequestCount(prefix); }

  // Starts the program, its output going to the file `output`.
  pid_t Start(const std::vector<std::string>& arguments, const std::filesystem::path& output) {
    std::vector<std::string> shell = {"-c", "exec \"$0\" \"$@\" > '" + output.string() + "' 2>&1",
                                      (m_exe.Path() / "zupictrove").string()};
    shell.insert(shell.end(), arguments.begin(), arguments.end());
    return SpawnWithHome("/bin/sh", shell, m_home.Path());
  }

  // Runs the program to its end; its exit status, and what it printed.
  int Run(const std::vector<std::string>& arguments, std::string* output) {
    const std::filesystem::path file = m_home.Path() / "stdout";
    const pid_t pid = Start(arguments, file);
    int status = 0;
    waitpid(pid, &status, 0);
    *output = ReadFileBytes(file);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // A backup of the user into the current download root. Three photos at once: with the four
  // album-list connections and the photo list's that the program keeps open, that is the eight
  // connections the service answers at once (a ninth would wait for one of them to time out).
  std::vector<std::string> Backup() const {
    return {"--backup", std::to_string(kUin), "--out", Root().string(), "--connections", "3"};
  }

  std::filesystem::path Root() const { return m_out->Path(); }
  std::filesystem::path AlbumFolder(const std::string& name) const {
    return Root() / std::to_string(kUin) / name;
  }
  std::filesystem::path Archive() const { return Root() / std::string(kArchiveFileName); }

  // After a killed run: every photo the archive records is whole, except the files the test
  // deleted itself before that run (still missing, unless it fetched them again).
  void ExpectOnlyWholeFilesRecorded(const std::set<std::string>& deleted) {
    std::string output;
    const int status = Run({"--verify", std::to_string(kUin), "--out", Root().string()}, &output);
    if (!std::filesystem::exists(Archive())) {
      EXPECT_EQ(status, 1) << output;  // killed before the archive was made
      return;
    }
    std::vector<std::string> lines = Lines(output);
    ASSERT_FALSE(lines.empty()) << output;
    EXPECT_NE(lines.back().find(" photos checked, "), std::string::npos) << output;
    lines.pop_back();
    for (const std::string& line : lines) {
      const size_t colon = line.rfind(": ");
      ASSERT_NE(colon, std::string::npos) << line;
      EXPECT_EQ(line.substr(colon + 2), "missing") << line;
      EXPECT_EQ(deleted.count(line.substr(0, colon)), 1u) << line;
    }
    EXPECT_EQ(status, lines.empty() ? 0 : 1) << output;
  }

  // After a completing run: every photo that can be fetched is there once and byte for byte, the
  // failing ones are not, nothing else is in the album folders, and the archive records exactly
  // the photos there, soundly.
  void ExpectComplete(int status, const std::string& output) {
    EXPECT_EQ(status, 1) << output;  // the failing album never completes
    for (const FixtureAlbum& album : Albums()) {
      const std::string last = LastLineOf(output, album.name);
      if (Fetchable(album)) {
        EXPECT_NE(last.find("  completed ("), std::string::npos) << output;
        EXPECT_TRUE(last.ends_with(", 0 failed)")) << output;
      } else {
        EXPECT_TRUE(last.ends_with("3 photos failed (0 new, 0 already there, 3 failed)")) << output;
      }
    }
    EXPECT_NE(output.find("3 albums completed, 1 not"), std::string::npos) << output;

    std::set<std::string> albumNames;
    for (const FixtureAlbum& album : Albums()) {
      albumNames.insert(album.name);
      const std::filesystem::path folder = AlbumFolder(album.name);
      if (!Fetchable(album)) {
        EXPECT_EQ(Entries(folder), std::set<std::string>{}) << folder;
        continue;
      }
      // Exactly the listed names: no part file left, no photo saved a second time as name_1.jpg.
      std::set<std::string> wanted;
      for (int i = 0; i < album.photos; ++i) {
        wanted.insert(PhotoFile(i));
      }
      EXPECT_EQ(Entries(folder), wanted) << folder;
      for (const std::string& name : wanted) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(folder / name, ec)) {
          EXPECT_TRUE(ReadFileBytes(folder / name) == m_expected[album.name][name])
              << folder / name << " is not the service's photo";
        }
      }
    }
    // No album got a second folder.
    EXPECT_EQ(Entries(Root() / std::to_string(kUin)), albumNames);

    std::string verified;
    EXPECT_EQ(Run({"--verify", "--out", Root().string()}, &verified), 0) << verified;
    EXPECT_EQ(Lines(verified), (std::vector<std::string>{std::to_string(FetchablePhotos()) +
                                                         " photos checked, 0 missing or changed"}));
    EXPECT_EQ(QueryReadOnly(Archive(), "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(QueryReadOnly(Archive(), "SELECT count(*) FROM parts"), "0");
    EXPECT_EQ(QueryReadOnly(Archive(), "SELECT count(*) FROM photos"),
              std::to_string(FetchablePhotos()));
  }

  // Killed for certain while the large photo (deleted by hand) is a third of the way: its part
  // file stays, named by the archive, and the next run resumes it with one ranged request.
  void KillWhileTheLargePhotoIsUnderWay() {
    const std::filesystem::path large = AlbumFolder("Large");
    std::filesystem::remove(large / PhotoFile(0));
    const int watch = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, large.c_str(), IN_CREATE | IN_MODIFY), 0);
    Requests("ranged:/img/");
    const pid_t pid = Start(Backup(), m_home.Path() / "killed-stdout");
    ASSERT_GT(pid, 0);
    const int process = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    ASSERT_GE(process, 0);
    bool underWay = false;
    while (!underWay) {
      pollfd events[2] = {{watch, POLLIN, 0}, {process, POLLIN, 0}};
      if (poll(events, 2, 30000) <= 0 || (events[1].revents & POLLIN) != 0) {
        break;  // the backup ended, or nothing happened for long
      }
      char buffer[4096];
      [[maybe_unused]] const ssize_t bytes = read(watch, buffer, sizeof(buffer));
      for (const std::string& name : Entries(large)) {
        std::error_code ec;
        const uintmax_t size = std::filesystem::file_size(large / name, ec);
        underWay = underWay || (!ec && name.starts_with(kPartFilePrefix) && size >= (1u << 20));
      }
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(process);
    close(watch);
    ASSERT_TRUE(underWay) << "the backup never got a third of the large photo";
    EXPECT_EQ(PartFiles(), 1);
    EXPECT_EQ(QueryReadOnly(Archive(), "SELECT count(*) FROM parts"), "1");
    std::string output;
    const int status = Run(Backup(), &output);
    ExpectComplete(status, output);
    EXPECT_EQ(Requests("ranged:/img/"), 1);
  }

  // Part files of ours in the album folders.
  int PartFiles() const {
    int count = 0;
    for (const FixtureAlbum& album : Albums()) {
      for (const std::string& name : Entries(AlbumFolder(album.name))) {
        count += name.starts_with(kPartFilePrefix) && name.ends_with(kPartFileSuffix) ? 1 : 0;
      }
    }
    return count;
  }

  TempDir m_exe;
  TempDir m_home;
  std::unique_ptr<TempDir> m_out = std::make_unique<TempDir>();
  // Paced, so that the large photo's transfer takes a good part of a run.
  ServiceFixture m_service{std::vector<std::string>{"--rate-kbps", "64000"}};
  std::map<std::string, std::map<std::string, std::string>> m_expected;  // album, file: bytes
};

TEST_F(CrashTest, AKilledBackupIsMadeWholeByTheNextRun) {
  uint64_t seed = std::random_device{}();
  if (const char* given = std::getenv("ZP_RANDOM_SEED"); given != nullptr && *given != '\0') {
    seed = std::strtoull(given, nullptr, 10);
  }
  SCOPED_TRACE("ZP_RANDOM_SEED=" + std::to_string(seed));
  std::printf("ZP_RANDOM_SEED=%llu\n", static_cast<unsigned long long>(seed));
  std::mt19937_64 random(seed);

  // One whole run first: how long one takes sets the range of the kill moments.
  std::string output;
  const Clock::time_point begun = Clock::now();
  int status = Run(Backup(), &output);
  const auto whole =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begun).count();
  ExpectComplete(status, output);
  ASSERT_FALSE(HasFailure()) << "a whole run without a kill is not complete";

  KillWhileTheLargePhotoIsUnderWay();
  ASSERT_FALSE(HasFailure());

  int killed = 0;
  int fresh = 0;
  int leftParts = 0;
  int recordedParts = 0;
  std::bernoulli_distribution coin(0.5);
  std::bernoulli_distribution deleteOne(0.25);
  std::uniform_int_distribution<long> moment(0, std::max<long>(whole, 200));
  for (int round = 0; round < kRounds && !HasFailure(); ++round) {
    // A first run of a new root, or a re-run of the last one with some photos deleted by hand.
    const bool anew = coin(random);
    std::set<std::string> deleted;
    if (anew) {
      m_out = std::make_unique<TempDir>();
      ++fresh;
    } else {
      for (const FixtureAlbum& album : Albums()) {
        for (int i = 0; Fetchable(album) && i < album.photos; ++i) {
          if (deleteOne(random)) {
            const std::filesystem::path path = AlbumFolder(album.name) / PhotoFile(i);
            std::filesystem::remove(path);
            deleted.insert(std::filesystem::absolute(path).lexically_normal().string());
          }
        }
      }
    }
    const long killAfter = moment(random);
    const bool checkAfterKill = coin(random);
    SCOPED_TRACE("round " + std::to_string(round) + (anew ? ", a new root" : ", the same root") +
                 ", " + std::to_string(deleted.size()) + " photos deleted, killed after " +
                 std::to_string(killAfter) + " ms");

    const pid_t pid = Start(Backup(), m_home.Path() / "killed-stdout");
    ASSERT_GT(pid, 0);
    // Killed at its moment, unless it ends before: its process descriptor becomes readable when
    // it ends, and the kill moment is the longest the wait takes.
    const int process = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    ASSERT_GE(process, 0);
    pollfd ended = {process, POLLIN, 0};
    if (poll(&ended, 1, static_cast<int>(killAfter)) == 0) {
      kill(pid, SIGKILL);
      ++killed;
    }
    close(process);
    waitpid(pid, nullptr, 0);
    // Part files the archive names to resume (none when it was cut off before its tables).
    if (const std::string parts = QueryReadOnly(Archive(), "SELECT count(*) FROM parts");
        !parts.starts_with("error")) {
      recordedParts += std::stoi(parts);
    }
    leftParts += PartFiles();
    if (checkAfterKill) {
      ExpectOnlyWholeFilesRecorded(deleted);
    }

    status = Run(Backup(), &output);
    ExpectComplete(status, output);
  }
  const int resumed = Requests("ranged:/img/");
  std::printf(
      "whole run %lld ms; %d rounds, %d on a new root, %d killed before their end; %d part files "
      "left by the kills, %d of them recorded to resume; %d resumed requests\n",
      static_cast<long long>(whole), kRounds, fresh, killed, leftParts, recordedParts, resumed);
  // The moments do fall inside runs, not after them.
  EXPECT_GE(killed, kRounds / 4);
}

}  // namespace
