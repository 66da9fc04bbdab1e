#include "download/album_thread.h"
#include "download/album_thread_fixture.h"

namespace {

TEST_F(AlbumThreadTest, SavedCountsCountSavedPhotosAndCarryTheJobsRowAndRun) {
  StartListed(
      "trip",
      {{"a", Image(1000, "1")}, {"b", Image(1000, "2", "reset")}, {"c", Image(30000, "3", "slow")}},
      5, 42);
  const std::vector<PostedMessage> messages = CollectUntil(WM_ALBUM_DONE);
  ASSERT_EQ(messages.size(), 3u);
  for (int i : {0, 1}) {
    EXPECT_EQ(messages[i].message, WM_PHOTO_SAVED);
    EXPECT_EQ(RowOfParam(messages[i].wParam), 5);
    EXPECT_EQ(RunOfParam(messages[i].wParam), 42u);
    EXPECT_EQ(messages[i].lParam, i + 1);
  }
  ExpectAlbumDone(messages[2], AlbumOutcome::kSomeFailed, 1);
  EXPECT_EQ(RunOfParam(messages[2].wParam), 42u);
  EXPECT_EQ(Files(AlbumFolder("trip")), (std::set<std::string>{"a.jpg", "c.jpg"}));
  EXPECT_EQ(std::filesystem::file_size(AlbumFolder("trip") / "c.jpg"), 30000u);
  EXPECT_FALSE(std::filesystem::exists(m_dir.Path() / "list.xml"));  // read, then deleted
}

TEST_F(AlbumThreadTest, EveryNameThatFitsTheFileSystemIsSavedAndLongerOnesAreCut) {
  std::string fits;  // 80 characters of 3 bytes: 240 bytes, 244 with ".jpg"
  for (int i = 0; i < 80; ++i) {
    fits += "照";
  }
  std::string tooLong;  // 100 characters: 300 bytes
  for (int i = 0; i < 100; ++i) {
    tooLong += "片";
  }
  StartListed("long", {{fits, Image(10, "1")}, {tooLong, Image(10, "2")}, {fits, Image(10, "3")}});
  const auto messages = CollectUntil(WM_ALBUM_DONE);
  ExpectAlbumDone(messages.back(), AlbumOutcome::kCompleted);
  const std::set<std::string> files = Files(AlbumFolder("long"));
  EXPECT_EQ(files.size(), 3u);
  EXPECT_EQ(files.count(fits + ".jpg"), 1u);
  EXPECT_EQ(files.count(fits + "_1.jpg"), 1u);
  EXPECT_EQ(files.count(tooLong.substr(0, 251 / 3 * 3) + ".jpg"), 1u);
}

TEST_F(AlbumThreadTest, NamesAndAddressesFromTheServiceStayInTheAlbumFolder) {
  StartListed("safe", {{"../x", Image(10, "1")},
                       {"/etc/passwd", Image(10, "2")},
                       {"a", Image(10, "3")},
                       {"a", Image(10, "4")},
                       {" a ", Image(10, "5")},
                       {"f", "file:///etc/hostname"},
                       {"g", "  " + Image(10, "6") + " "}});
  const auto messages = CollectUntil(WM_ALBUM_DONE);
  EXPECT_EQ(messages.size(), 7u);  // six saved, then the end
  ExpectAlbumDone(messages.back(), AlbumOutcome::kSomeFailed, 1);
  EXPECT_EQ(Files(AlbumFolder("safe")), (std::set<std::string>{"x.jpg", "etcpasswd.jpg", "a.jpg",
                                                               "a_1.jpg", "a_2.jpg", "g.jpg"}));
  EXPECT_EQ(Shown(Files(m_dir.Path() / "root")), std::set<std::string>{"10001"});
  EXPECT_EQ(Files(m_dir.Path() / "root" / "10001"), std::set<std::string>{"safe"});
}

TEST_F(AlbumThreadTest, BrokenListEndsTheAlbumWithoutTouchingFolders) {
  std::filesystem::create_directories(AlbumFolder("old"));
  m_dir.Write("root/10001/old/keep.jpg", "k");
  EXPECT_TRUE(
      m_worker.StartAlbum(Job(m_dir.Write("list.xml", "<data><pic><name>a</name>"), "old", 0)));
  auto messages = CollectUntil(WM_ALBUM_DONE);
  ASSERT_EQ(messages.size(), 1u);
  ExpectAlbumDone(messages[0], AlbumOutcome::kListFailed);
  EXPECT_FALSE(std::filesystem::exists(m_dir.Path() / "list.xml"));
  EXPECT_TRUE(std::filesystem::exists(AlbumFolder("old") / "keep.jpg"));

  // The web cache form: a missing page, and no page named at all.
  for (const std::filesystem::path& page :
       {m_dir.Path() / "no-such-page", std::filesystem::path()}) {
    m_worker.Join();
    EXPECT_TRUE(m_worker.StartAlbum(Job(page, "old", 1)));
    messages = CollectUntil(WM_ALBUM_DONE);
    ASSERT_EQ(messages.size(), 1u);
    ExpectAlbumDone(messages[0], AlbumOutcome::kPageNotFound);
  }
  EXPECT_TRUE(std::filesystem::exists(AlbumFolder("old") / "keep.jpg"));
}

TEST_F(AlbumThreadTest, AnEmptyListKeepsTheFolderAndFailsWhenTheAlbumListCountsPhotos) {
  std::filesystem::create_directories(AlbumFolder("trip") / "sub");
  m_dir.Write("root/10001/trip/sub/old.jpg", "o");
  StartListed("trip", {});
  auto messages = CollectUntil(WM_ALBUM_DONE);
  ASSERT_EQ(messages.size(), 1u);
  ExpectAlbumDone(messages[0], AlbumOutcome::kCompleted);  // an album listed with no photos
  EXPECT_TRUE(std::filesystem::exists(AlbumFolder("trip") / "sub" / "old.jpg"));

  m_worker.Join();
  AlbumJob job = Job(WriteXmlList({}), "trip", 0);
  job.listedPhotoCount = 20;
  EXPECT_TRUE(m_worker.StartAlbum(job));
  messages = CollectUntil(WM_ALBUM_DONE);
  ASSERT_EQ(messages.size(), 1u);
  ExpectAlbumDone(messages[0], AlbumOutcome::kListFailed);
  EXPECT_TRUE(std::filesystem::exists(AlbumFolder("trip") / "sub" / "old.jpg"));
}

TEST_F(AlbumThreadTest, AStopAbortsThePhotosInFlightAtOnceAndLeavesNoFile) {
  for (const char* connections : {"1", "4"}) {
    m_dir.Write("config.ini",
                "[info]\nphoto_dir=" + WideToUtf8(Root()) + "\nconnections=" + connections + "\n");
    for (const uint8_t fromWebCache : {0, 1}) {
      const std::string folder = std::string(fromWebCache ? "page" : "list") + connections;
      const std::vector<Photo> photos = {{"a", Image(1000, "1")},
                                         {"b", Image(400000, "2", "slow")},
                                         {"c", Image(1000, "3")},
                                         {"d", Image(400000, "4", "slow")}};
      m_worker.Join();
      if (fromWebCache) {
        StartCached(folder, photos);
      } else {
        StartListed(folder, photos);
      }
      CollectUntil(WM_PHOTO_SAVED);
      m_worker.Stop();
      // The slow photos would take 20 s; the stop ends them within the UI thread's wait.
      EXPECT_EQ(m_worker.Wait(), 1);
      EXPECT_FALSE(m_worker.IsBusy()) << folder;
      const auto rest = CollectRest();
      ASSERT_FALSE(rest.empty()) << folder;
      ExpectAlbumDone(rest.back(), AlbumOutcome::kStopped);
      // One at a time: the stop comes during "b", and "c" never starts. Several at once: the
      // small ones, "a" and "c", end in either order and either may be saved; the slow ones never
      // are, and nothing half-written stays.
      const std::set<std::string> files = Files(AlbumFolder(folder));
      if (connections[0] == '1') {
        EXPECT_EQ(files, std::set<std::string>{"a.jpg"}) << folder;
      } else {
        EXPECT_FALSE(files.empty()) << folder;
        for (const std::string& file : files) {
          EXPECT_TRUE(file == "a.jpg" || file == "c.jpg") << folder << ": " << file;
        }
      }
    }
  }
  EXPECT_TRUE(std::filesystem::exists(m_dir.Path() / "page.html"));  // the cache's file stays
}

TEST_F(AlbumThreadTest, PhotosDownloadedSeveralAtOnceGetTheNamesOfOneAtATime) {
  std::vector<Photo> photos;
  for (int i = 0; i < 9; ++i) {
    // Three names, each three times, sizes growing so that later transfers tend to end first.
    photos.push_back({std::string(1, static_cast<char>('x' + i % 3)),
                      Image(static_cast<size_t>(30000 - i * 3000), std::to_string(i))});
  }
  std::map<std::string, uintmax_t> expected;
  for (const char* connections : {"1", "8"}) {
    m_dir.Write("config.ini",
                "[info]\nphoto_dir=" + WideToUtf8(Root()) + "\nconnections=" + connections + "\n");
    m_worker.Join();
    const std::string album = std::string("names") + connections;
    StartListed(album, photos);
    const auto messages = CollectUntil(WM_ALBUM_DONE);
    ASSERT_EQ(messages.size(), 10u);
    for (int i = 0; i < 9; ++i) {
      EXPECT_EQ(messages[i].lParam, i + 1);  // saved so far, rising by one
    }
    ExpectAlbumDone(messages.back(), AlbumOutcome::kCompleted);
    std::map<std::string, uintmax_t> sizes;
    for (const auto& entry : std::filesystem::directory_iterator(AlbumFolder(album))) {
      sizes[entry.path().filename().string()] = entry.file_size();
    }
    if (expected.empty()) {
      expected = sizes;
      EXPECT_EQ(sizes.size(), 9u);
      EXPECT_EQ(sizes["x.jpg"], 30000u);
      EXPECT_EQ(sizes["x_1.jpg"], 21000u);
    } else {
      EXPECT_EQ(sizes, expected);
    }
  }
}

// A worker whose thread waits at the start of its run until released.
class HeldWorker : public CAlbumThread {
 public:
  void Run() override {
    while (!release) {
      std::this_thread::yield();
    }
    CAlbumThread::Run();
  }
  std::atomic<bool> release{false};
};

TEST_F(AlbumThreadTest, AStopBeforeTheThreadGetsGoingIsNeverLostAndTouchesNoFolder) {
  std::filesystem::create_directories(AlbumFolder("kept"));
  m_dir.Write("root/10001/kept/old.jpg", "o");
  HeldWorker worker;
  worker.SetNotifyWindow(m_window);
  EXPECT_TRUE(worker.StartAlbum(Job(WriteXmlList({{"a", Image(1000, "1")}}), "kept", 0)));
  worker.Stop();
  worker.release = true;
  const auto messages = CollectUntil(WM_ALBUM_DONE);
  ASSERT_EQ(messages.size(), 1u);
  ExpectAlbumDone(messages[0], AlbumOutcome::kStopped);
  EXPECT_EQ(Files(AlbumFolder("kept")), std::set<std::string>{"old.jpg"});
}

TEST_F(AlbumThreadTest, AJobHandedOverWhileAStoppedThreadEndsWaitsForIt) {
  // A worker thread held up in its run: the next job must neither overlap it nor block the caller.
  HeldWorker worker;
  worker.SetNotifyWindow(m_window);
  worker.m_waitTimeout = 10;
  EXPECT_TRUE(worker.StartAlbum(Job(WriteXmlList({}, "first.xml"), "first", 0, 0, 1)));
  worker.Stop();
  EXPECT_FALSE(worker.StartAlbum(Job(WriteXmlList({}, "second.xml"), "second", 0, 1, 2)));
  worker.ResumeWaitingJob();  // the first thread still runs: the job keeps waiting
  EXPECT_TRUE(worker.IsBusy());
  worker.release = true;
  auto messages = CollectUntil(WM_ALBUM_DONE);
  EXPECT_EQ(RunOfParam(messages.back().wParam), 1u);
  worker.m_waitTimeout = 10000;
  worker.ResumeWaitingJob();
  messages = CollectUntil(WM_ALBUM_DONE);
  EXPECT_EQ(RunOfParam(messages.back().wParam), 2u);
  ExpectAlbumDone(messages.back(), AlbumOutcome::kCompleted);
  EXPECT_TRUE(std::filesystem::is_directory(AlbumFolder("second")));

  // A stop drops a waiting job.
  worker.release = false;
  worker.m_waitTimeout = 10;
  EXPECT_TRUE(worker.StartAlbum(Job(WriteXmlList({}, "third.xml"), "third", 0, 0, 3)));
  worker.Stop();
  EXPECT_FALSE(worker.StartAlbum(Job(WriteXmlList({}, "fourth.xml"), "fourth", 0, 0, 4)));
  worker.Stop();
  worker.release = true;
  worker.Join();
  worker.ResumeWaitingJob();
  worker.Join();
  EXPECT_FALSE(std::filesystem::exists(AlbumFolder("fourth")));
}

TEST_F(AlbumThreadTest, CachedFormDownloadsThePagesPhotos) {
  StartCached("page", {{"one", Image(500, "1")}, {"two", Image(600, "2")}});
  const auto messages = CollectUntil(WM_ALBUM_DONE);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[1].lParam, 2);
  ExpectAlbumDone(messages[2], AlbumOutcome::kCompleted);
  EXPECT_EQ(std::filesystem::file_size(AlbumFolder("page") / "two.jpg"), 600u);
}

// A thread object that counts how many of its runs overlap.
class OverlapProbe : public CKelThread {
 public:
  std::atomic<int> active{0};
  std::atomic<int> most{0};
  std::atomic<int> runs{0};
  std::atomic<bool> release{false};
  void Run() override {
    const int now = ++active;
    most = std::max(most.load(), now);
    while (!release) {
      std::this_thread::yield();
    }
    ++runs;
    --active;
  }
};

TEST(KelThreadTest, WaitAndStartKeepOneThreadAtATime) {
  EXPECT_EQ(ThreadEntry(nullptr), 0u);
  OverlapProbe probe;
  EXPECT_EQ(probe.Wait(), 0);
  probe.m_waitTimeout = 10;
  probe.Start();
  EXPECT_EQ(probe.Wait(), 1);  // gives up after 10 ms: the run is still held up, and held
  EXPECT_TRUE(probe.IsBusy());
  EXPECT_EQ(probe.Wait(), 1);
  std::thread releaser([&probe] {
    while (probe.active == 0) {
      std::this_thread::yield();
    }
    probe.release = true;
  });
  probe.Start();  // waits for the first run to end before the second begins
  releaser.join();
  probe.m_waitTimeout = 10000;
  EXPECT_EQ(probe.Wait(), 1);
  EXPECT_EQ(probe.runs, 2);
  EXPECT_EQ(probe.most, 1);
  EXPECT_FALSE(probe.IsBusy());
  EXPECT_EQ(probe.Wait(), 0);
}

}  // namespace
