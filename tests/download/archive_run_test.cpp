// Runs of an album again and again over one download root: what the archive keeps, what is
// fetched, and that nothing on disk is lost.

#include <sys/stat.h>

#include "download/album_lock.h"
#include "download/album_thread_fixture.h"
#include "download/download_archive.h"

namespace {

// What identifies a file on disk: the same inode with the same bytes is the very same file.
struct Identity {
  ino_t inode = 0;
  std::string bytes;
  bool operator==(const Identity&) const = default;
};

Identity IdentityOf(const std::filesystem::path& path) {
  struct stat info {};
  EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
  return {info.st_ino, ReadFileBytes(path)};
}

class ArchiveRunTest : public AlbumThreadTest {
 protected:
  std::unique_ptr<DownloadArchive> Archive() {
    std::string error;
    auto archive = DownloadArchive::Open(m_dir.Path() / "root", &error);
    EXPECT_NE(archive, nullptr) << error;
    return archive;
  }
  std::map<std::string, Identity> Identities(const std::string& folder) {
    std::map<std::string, Identity> files;
    for (const std::string& name : Files(AlbumFolder(folder))) {
      if (std::filesystem::is_regular_file(AlbumFolder(folder) / name)) {
        files[name] = IdentityOf(AlbumFolder(folder) / name);
      }
    }
    return files;
  }
};

TEST_F(ArchiveRunTest, AReRunKeepsEveryFileAndFetchesOnlyWhatIsMissing) {
  const std::vector<Photo> photos = {
      {"a", Image(1000, "1")}, {"b", Image(2000, "2")}, {"c", Image(3000, "3")}};
  ExpectAlbumDone(RunJob(ListedJob("t1", "trip", photos)).back(), AlbumOutcome::kCompleted);
  EXPECT_EQ(Requests(), 3);
  const auto first = Identities("trip");
  ASSERT_EQ(first.size(), 3u);
  // Each photo carries its own time, not the download's.
  struct stat info {};
  ASSERT_EQ(stat((AlbumFolder("trip") / "a.jpg").c_str(), &info), 0);
  EXPECT_LT(info.st_mtime, 1735689600);  // the service's photos are dated before 2025
  m_dir.Write("root/10001/trip/note.txt", "mine");
  std::filesystem::create_directories(AlbumFolder("trip") / "edited");
  m_dir.Write("root/10001/trip/edited/a.jpg", "my edit");

  // Unchanged: nothing is requested, the row counts the three photos at once, nothing moves.
  auto messages = RunJob(ListedJob("t1", "trip", photos));
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].message, WM_PHOTO_SAVED);
  EXPECT_EQ(messages[0].lParam, 3);
  ExpectAlbumDone(messages[1], AlbumOutcome::kCompleted);
  EXPECT_EQ(Requests(), 0);
  for (const auto& [name, identity] : first) {
    EXPECT_EQ(IdentityOf(AlbumFolder("trip") / name), identity) << name;
  }
  EXPECT_EQ(m_worker.LastCounts().kept, 3);
  EXPECT_EQ(m_worker.LastCounts().saved, 0);

  // A deleted photo comes back under its own name; a new photo named like another takes the next
  // free name; the others are not touched.
  std::filesystem::remove(AlbumFolder("trip") / "b.jpg");
  std::vector<Photo> more = photos;
  more.push_back({"a", Image(4000, "4")});
  messages = RunJob(ListedJob("t1", "trip", more));
  ExpectAlbumDone(messages.back(), AlbumOutcome::kCompleted);
  EXPECT_EQ(messages[messages.size() - 2].lParam, 4);
  EXPECT_EQ(Requests(), 2);
  EXPECT_EQ(std::filesystem::file_size(AlbumFolder("trip") / "b.jpg"), 2000u);
  EXPECT_EQ(std::filesystem::file_size(AlbumFolder("trip") / "a_1.jpg"), 4000u);
  EXPECT_EQ(IdentityOf(AlbumFolder("trip") / "a.jpg"), first.at("a.jpg"));
  EXPECT_EQ(IdentityOf(AlbumFolder("trip") / "c.jpg"), first.at("c.jpg"));

  // A shorter list, and an empty one for an album the album list counts with photos: nothing
  // goes, and the empty one is no success.
  ExpectAlbumDone(RunJob(ListedJob("t1", "trip", {photos[0]})).back(), AlbumOutcome::kCompleted);
  AlbumJob empty = ListedJob("t1", "trip", {});
  empty.listedPhotoCount = 4;
  ExpectAlbumDone(RunJob(empty).back(), AlbumOutcome::kListFailed);
  // New photos whose host fails: the photos there stay, and the album is not complete.
  std::vector<Photo> failing = more;
  failing.push_back({"d", Image(1000, "5", "status500")});
  ExpectAlbumDone(RunJob(ListedJob("t1", "trip", failing)).back(), AlbumOutcome::kSomeFailed, 1);
  EXPECT_EQ(Shown(Files(AlbumFolder("trip"))),
            (std::set<std::string>{"a.jpg", "a_1.jpg", "b.jpg", "c.jpg", "edited", "note.txt"}));
  EXPECT_EQ(ReadFileBytes(AlbumFolder("trip") / "edited" / "a.jpg"), "my edit");
  EXPECT_EQ(ReadFileBytes(AlbumFolder("trip") / "note.txt"), "mine");
  EXPECT_TRUE(Files(AlbumFolder("trip")).size() == Shown(Files(AlbumFolder("trip"))).size());
}

TEST_F(ArchiveRunTest, AFileChangedByTheUserStaysAndThePhotoGetsANewName) {
  const std::vector<Photo> photos = {{"a", Image(1000, "1")}};
  RunJob(ListedJob("t1", "trip", photos));
  m_dir.Write("root/10001/trip/a.jpg", "the user's own picture now");
  ExpectAlbumDone(RunJob(ListedJob("t1", "trip", photos)).back(), AlbumOutcome::kCompleted);
  EXPECT_EQ(ReadFileBytes(AlbumFolder("trip") / "a.jpg"), "the user's own picture now");
  EXPECT_EQ(std::filesystem::file_size(AlbumFolder("trip") / "a_1.jpg"), 1000u);
  // From now on the photo is a_1.jpg, and it is kept.
  RunJob(ListedJob("t1", "trip", photos));
  EXPECT_EQ(Requests(), 1 + 1);
}

TEST_F(ArchiveRunTest, AFolderTheArchiveDoesNotKnowKeepsItsFilesAndSamePhotosAreNotSavedTwice) {
  // An earlier copy of the album: one photo exactly as the service has it, one file of the user's
  // under the name of another photo.
  std::filesystem::create_directories(AlbumFolder("old"));
  m_dir.Write("root/10001/old/a.jpg", ImageBytesAt(Image(1500, "1")));
  m_dir.Write("root/10001/old/b.jpg", "not the photo");
  const Identity copied = IdentityOf(AlbumFolder("old") / "a.jpg");
  const std::vector<Photo> photos = {{"a", Image(1500, "1")}, {"b", Image(1500, "2")}};
  ExpectAlbumDone(RunJob(ListedJob("o1", "old", photos)).back(), AlbumOutcome::kCompleted);
  EXPECT_EQ(Shown(Files(AlbumFolder("old"))), (std::set<std::string>{"a.jpg", "b.jpg", "b_1.jpg"}));
  EXPECT_EQ(IdentityOf(AlbumFolder("old") / "a.jpg"), copied);  // taken as it is
  EXPECT_EQ(ReadFileBytes(AlbumFolder("old") / "b.jpg"), "not the photo");
  EXPECT_EQ(m_worker.LastCounts().kept, 1);
  EXPECT_EQ(m_worker.LastCounts().saved, 1);
  const auto records = Archive()->Photos(10001, "o1");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records.at(Image(1500, "1")).fileName, "a.jpg");
  EXPECT_EQ(records.at(Image(1500, "2")).fileName, "b_1.jpg");
  Requests();
  RunJob(ListedJob("o1", "old", photos));
  EXPECT_EQ(Requests(), 0);
}

TEST_F(ArchiveRunTest, AlbumsOfOneNameKeepTheirFoldersWhateverTheOrder) {
  const std::vector<Photo> first = {{"x", Image(1000, "1")}};
  const std::vector<Photo> second = {{"y", Image(1000, "2")}};
  RunJob(ListedJob("C1", "同名", first));
  RunJob(ListedJob("C2", "同名", second));
  EXPECT_EQ(Shown(Files(AlbumFolder("同名"))), std::set<std::string>{"x.jpg"});
  EXPECT_EQ(Shown(Files(AlbumFolder("同名_1"))), std::set<std::string>{"y.jpg"});
  const auto before = Identities("同名");
  // The second album alone, then both in the other order: each keeps its folder.
  RunJob(ListedJob("C2", "同名", second));
  RunJob(ListedJob("C2", "同名", second));
  RunJob(ListedJob("C1", "同名", first));
  EXPECT_EQ(Identities("同名"), before);
  EXPECT_EQ(Shown(Files(AlbumFolder("同名_1"))), std::set<std::string>{"y.jpg"});
  EXPECT_EQ(Archive()->AlbumFolder(10001, "C2"), L"同名_1");
  // A renamed album stays in its folder too.
  RunJob(ListedJob("C1", "改名", first));
  EXPECT_FALSE(std::filesystem::exists(AlbumFolder("改名")));
  EXPECT_EQ(Requests(), 2);
}

TEST_F(ArchiveRunTest, AnAlbumInUseElsewhereIsLeftAlone) {
  std::filesystem::create_directories(AlbumFolder("trip"));
  AlbumLock::Result result;
  auto other = AlbumLock::TryTake(m_dir.Path() / "root", 10001, "t1", &result);
  ASSERT_EQ(result, AlbumLock::Result::kTaken);
  const std::vector<Photo> photos = {{"a", Image(1000, "1")}};
  ExpectAlbumDone(RunJob(ListedJob("t1", "trip", photos)).back(), AlbumOutcome::kInUse);
  EXPECT_TRUE(std::filesystem::is_empty(AlbumFolder("trip")));
  // Another album of the same user is not held up by it.
  ExpectAlbumDone(RunJob(ListedJob("t2", "other", photos)).back(), AlbumOutcome::kCompleted);
  other.reset();
  ExpectAlbumDone(RunJob(ListedJob("t1", "trip", photos)).back(), AlbumOutcome::kCompleted);

  // Two workers of one process on one album: the second leaves it to the first, which completes.
  const std::vector<Photo> slow = {{"s", Image(30000, "s", "slow")}, {"q", Image(1000, "q")}};
  m_worker.Join();
  ASSERT_TRUE(m_worker.StartAlbum(ListedJob("t3", "both", slow)));
  ASSERT_FALSE(CollectUntil(WM_PHOTO_SAVED).empty());
  CAlbumThread second;
  second.SetNotifyWindow(m_window);
  AlbumJob job = ListedJob("t3", "both", slow);
  job.listFile += ".second";
  std::filesystem::copy_file(m_dir.Path() / "list.xml", m_dir.Path() / "list.xml.second");
  job.row = 9;
  ASSERT_TRUE(second.StartAlbum(job));
  second.Join();
  std::map<int32_t, AlbumOutcome> ends;  // by row
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (ends.size() < 2 && std::chrono::steady_clock::now() < deadline) {
    for (const PostedMessage& message : CollectUntil(WM_ALBUM_DONE)) {
      if (message.message == WM_ALBUM_DONE) {
        ends[RowOfParam(message.wParam)] = OutcomeOfParam(message.lParam);
      }
    }
  }
  EXPECT_EQ(ends[9], AlbumOutcome::kInUse);
  EXPECT_EQ(ends[0], AlbumOutcome::kCompleted);
  EXPECT_EQ(Shown(Files(AlbumFolder("both"))), (std::set<std::string>{"q.jpg", "s.jpg"}));
}

TEST_F(ArchiveRunTest, PartFilesOfOursGoUnlessAResumableTransferOwnsThem) {
  std::filesystem::create_directories(AlbumFolder("big"));
  m_dir.Write("root/10001/big/.zp-00000000deadbeef.part", "left by a crash");
  m_dir.Write("root/10001/big/.hidden-of-the-user", "mine");
  m_dir.Write("root/10001/big/.zp-notes.part", "mine too: not a name of ours");
  // A large photo that stalls half way: the stop keeps what came, recorded for resuming.
  const std::vector<Photo> photos = {{"p", Image(6u << 20, "p", "stall")}};
  m_worker.Join();
  ASSERT_TRUE(m_worker.StartAlbum(ListedJob("b1", "big", photos)));
  const auto archive = Archive();  // one reader beside the worker's connection
  const auto partSize = [&]() -> uintmax_t {
    for (const PartRecord& part : archive->Parts(10001, "b1")) {
      std::error_code ec;
      const uintmax_t size =
          std::filesystem::file_size(AlbumFolder("big") / WideToUtf8(part.partName), ec);
      return ec ? 0 : size;
    }
    return 0;
  };
  while (partSize() < (3u << 20)) {
    std::this_thread::yield();
  }
  m_worker.Stop();
  m_worker.Join();
  EXPECT_FALSE(std::filesystem::exists(AlbumFolder("big") / ".zp-00000000deadbeef.part"));
  EXPECT_EQ(ReadFileBytes(AlbumFolder("big") / ".hidden-of-the-user"), "mine");
  EXPECT_TRUE(std::filesystem::exists(AlbumFolder("big") / ".zp-notes.part"));
  const uintmax_t had = partSize();
  EXPECT_EQ(had, 3u << 20);
  EXPECT_EQ(Shown(Files(AlbumFolder("big"))), std::set<std::string>{});

  // The next run asks for the rest only, and goes on from where the part ended.
  Requests("ranged:/img/");
  ASSERT_TRUE(m_worker.StartAlbum(ListedJob("b1", "big", photos)));
  while (partSize() <= had) {
    std::this_thread::yield();
  }
  m_worker.Stop();
  m_worker.Join();
  EXPECT_EQ(Requests("ranged:/img/"), 1);
  EXPECT_GT(partSize(), had);
  ASSERT_EQ(Archive()->Parts(10001, "b1").size(), 1u);
}

}  // namespace

namespace {

TEST_F(ArchiveRunTest, NamesFromADamagedArchiveNeverLeaveTheAlbumFolder) {
  const std::vector<Photo> photos = {{"a", Image(1000, "1")}, {"b", Image(1000, "2")}};
  RunJob(ListedJob("d1", "trip", {photos[0]}));
  m_dir.Write("root/10001/victim.part", "not ours");
  m_dir.Write("root/10001/.zp-0000000000000009.part", "not ours either");
  {
    auto archive = Archive();
    PhotoRecord outside;
    outside.address = Image(1000, "2");
    outside.fileName = "../escaped.jpg";
    outside.size = 1000;
    ASSERT_TRUE(archive->RecordPhotos(10001, "d1", {outside}));
    ASSERT_TRUE(archive->RecordPart(10001, "d1", {Image(1000, "1"), L"../victim.part", "v", 9}));
    ASSERT_TRUE(archive->RecordPart(10001, "d1",
                                    {Image(1000, "2"), L"../.zp-0000000000000009.part", "v", 9}));
  }
  ExpectAlbumDone(RunJob(ListedJob("d1", "trip", photos)).back(), AlbumOutcome::kCompleted);
  EXPECT_FALSE(std::filesystem::exists(AlbumFolder("escaped.jpg")));
  EXPECT_EQ(ReadFileBytes(m_dir.Path() / "root/10001/victim.part"), "not ours");
  EXPECT_EQ(ReadFileBytes(m_dir.Path() / "root/10001/.zp-0000000000000009.part"),
            "not ours either");
  EXPECT_EQ(Shown(Files(AlbumFolder("trip"))), (std::set<std::string>{"a.jpg", "b.jpg"}));
}

}  // namespace

namespace {

TEST_F(ArchiveRunTest, AnArchiveThatCannotBeReadOrWrittenEndsTheAlbumUntouched) {
  const std::vector<Photo> photos = {{"a", Image(1000, "1")}, {"b", Image(1000, "2")}};
  // Not a database at all: nothing is fetched and the folder is left as it is.
  std::filesystem::create_directories(AlbumFolder("trip"));
  m_dir.Write("root/10001/trip/a.jpg", "the user's");
  m_dir.Write("root/.zupictrove-archive.sqlite3", std::string(8192, 'x'));
  Requests();
  ExpectAlbumDone(RunJob(ListedJob("t1", "trip", photos)).back(), AlbumOutcome::kArchiveFailed);
  EXPECT_FALSE(m_worker.LastCounts().archiveError.empty());
  EXPECT_EQ(Requests(), 0);
  EXPECT_EQ(Shown(Files(AlbumFolder("trip"))), std::set<std::string>{"a.jpg"});

  // A database damaged inside: its records cannot be read whole, so the album is not fetched
  // again unrecorded.
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::filesystem::remove(m_dir.Path() / "root" /
                            (std::string(".zupictrove-archive.sqlite3") + suffix));
  }
  {
    auto archive = Archive();
    ASSERT_EQ(archive->ChooseAlbumFolder(10001, "t2", L"other", m_dir.Path() / "root" / "10001"),
              L"other");
    std::vector<PhotoRecord> many(3000);
    for (size_t i = 0; i < many.size(); ++i) {
      many[i].address = "http://example.invalid/" + std::to_string(i);
      many[i].fileName = std::to_string(i) + ".jpg";
      many[i].sha256 = std::string(64, '0');
    }
    ASSERT_TRUE(archive->RecordPhotos(10001, "t2", many));
  }
  const std::filesystem::path file = m_dir.Path() / "root" / ".zupictrove-archive.sqlite3";
  ASSERT_FALSE(std::filesystem::exists(m_dir.Path() / "root" / ".zupictrove-archive.sqlite3-wal"))
      << "the last connection folds the journal in";
  std::string bytes = ReadFileBytes(file);
  ASSERT_GT(bytes.size(), 40000u);
  std::fill(bytes.begin() + 8192, bytes.end() - 4096, '\xAB');
  m_dir.Write("root/.zupictrove-archive.sqlite3", bytes);
  ExpectAlbumDone(RunJob(ListedJob("t2", "other", photos)).back(), AlbumOutcome::kArchiveFailed);
  EXPECT_EQ(Requests(), 0);
}

}  // namespace

namespace {

TEST_F(ArchiveRunTest, AnAlbumSavedBeforeTheArchiveWasLostIsFoundAgainByItsBytes) {
  // Camera names, all numbered: each photo is compared with the files of its own name only.
  std::vector<Photo> photos;
  for (int i = 1; i <= 300; ++i) {
    char name[16];
    std::snprintf(name, sizeof(name), "IMG_%04d", i);
    photos.push_back({name, Image(static_cast<size_t>(500 + i % 7), name)});
  }
  ExpectAlbumDone(RunJob(ListedJob("c1", "camera", photos)).back(), AlbumOutcome::kCompleted);
  const auto before = Identities("camera");
  ASSERT_EQ(before.size(), 300u);
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::filesystem::remove(m_dir.Path() / "root" /
                            (std::string(".zupictrove-archive.sqlite3") + suffix));
  }
  ExpectAlbumDone(RunJob(ListedJob("c1", "camera", photos)).back(), AlbumOutcome::kCompleted);
  EXPECT_EQ(m_worker.LastCounts().kept, 300);
  EXPECT_EQ(m_worker.LastCounts().saved, 0);
  EXPECT_EQ(Identities("camera"), before);  // no photo saved twice, none touched
  Requests();
  RunJob(ListedJob("c1", "camera", photos));
  EXPECT_EQ(Requests(), 0);  // recorded again
}

}  // namespace
