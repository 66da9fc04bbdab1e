#include "download/album_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "catalogue/app_messages.h"
#include "catalogue/app_state.h"
#include "download/download_settings.h"
#include "platform/posted_messages.h"
#include "support/sample_service_process.h"
#include "support/temp_dir.h"

namespace {

struct Photo {
  std::string name;
  std::string address;
};

class AlbumThreadTest : public ::testing::Test {
 protected:
  AlbumThreadTest() : m_service(m_fixtures.Path()) {}

  void SetUp() override {
    SetProcessCodePage("UTF-8");
    TakePostedMessages();
    m_window = CreateWindowHandle();
    m_worker.m_notifyWnd = m_window;
    std::filesystem::create_directories(m_dir.Path() / "root");
    auto settings = std::make_unique<DownloadSettings>(m_dir.Path() / "config.ini",
                                                       std::make_shared<HomeDriveProvider>());
    settings->WritePhotoDir(Root());
    DownloadSettings::SetInstance(std::move(settings));
    AppState::Instance()->m_uin = 10001;
    AppState::Instance()->m_currentAlbum = 0;
  }
  void TearDown() override {
    m_worker.m_running = 0;
    m_worker.Wait();
    DestroyWindowHandle(m_window);
    DownloadSettings::Destroy();
    AppState::Destroy();
    SetProcessCodePage("");
  }

  std::wstring Root() const { return Utf8ToWide((m_dir.Path() / "root").string()); }
  std::filesystem::path AlbumFolder(const std::string& name) const {
    return m_dir.Path() / "root" / "10001" / name;
  }
  std::string Image(size_t size, const std::string& name, const std::string& fault = "") const {
    std::string url =
        "http://" + m_service.Host("img") + "/img/" + std::to_string(size) + "/" + name + ".jpg";
    return fault.empty() ? url : url + "?fault=" + fault;
  }

  void SetListFile(const std::filesystem::path& path) {
    ASSERT_TRUE(WideToAnsi(Utf8ToWide(path.string()), m_worker.m_listFile));
  }
  std::filesystem::path WriteXmlList(const std::vector<Photo>& photos) {
    std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><data>";
    for (const Photo& photo : photos) {
      doc += "<pic><name>" + photo.name + "</name><origin_url>" + photo.address +
             "</origin_url></pic>";
    }
    return m_dir.Write("list.xml", doc + "</data>");
  }
  std::filesystem::path WritePage(const std::vector<Photo>& photos) {
    std::string page = "var data = {\"pic\": [";
    for (const Photo& photo : photos) {
      page += "{\"name\": \"" + photo.name + "\", \"origin_url\": \"" + photo.address + "\",},";
    }
    return m_dir.Write("page.html", page + "]};\r\n");
  }

  void StartListed(const std::string& folder, const std::vector<Photo>& photos) {
    SetListFile(WriteXmlList(photos));
    m_worker.m_albumFolderName = Utf8ToWide(folder);
    m_worker.m_fromWebCache = 0;
    m_worker.Start();
  }
  void StartCached(const std::string& folder, const std::vector<Photo>& photos) {
    SetListFile(WritePage(photos));
    m_worker.m_albumFolderName = Utf8ToWide(folder);
    m_worker.m_fromWebCache = 1;
    m_worker.Start();
  }

  // The messages posted to the window until `last` arrives (or the time is up).
  std::vector<PostedMessage> CollectUntil(UINT last) {
    std::vector<PostedMessage> collected;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      WaitForPostedMessage(std::chrono::milliseconds(200));
      for (const PostedMessage& message : TakePostedMessages()) {
        if (message.hwnd == m_window) {
          collected.push_back(message);
          if (message.message == last) {
            return collected;
          }
        }
      }
    }
    ADD_FAILURE() << "no message " << last;
    return collected;
  }
  std::vector<PostedMessage> CollectRest() {
    std::vector<PostedMessage> rest;
    for (const PostedMessage& message : TakePostedMessages()) {
      if (message.hwnd == m_window) {
        rest.push_back(message);
      }
    }
    return rest;
  }
  static std::set<std::string> Files(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  TempDir m_dir;
  TempDir m_fixtures;
  SampleServiceProcess m_service;
  HWND m_window = nullptr;
  CAlbumThread m_worker;
};

TEST_F(AlbumThreadTest, SavedCountsCountSavedPhotosAndCarryTheRowReadAtTheStart) {
  AppState::Instance()->m_currentAlbum = 5;
  StartListed("trip", {{"a", Image(1000, "1")},
                       {"b", Image(1000, "2", "reset")},
                       {"c", Image(30000, "3", "slow")}});
  std::vector<PostedMessage> messages = CollectUntil(WM_PHOTO_SAVED);
  AppState::Instance()->m_currentAlbum = 9;  // changed while the album runs
  for (const PostedMessage& message : CollectUntil(WM_ALBUM_DONE)) {
    messages.push_back(message);
  }
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].message, WM_PHOTO_SAVED);
  EXPECT_EQ(messages[0].wParam, 5u);
  EXPECT_EQ(messages[0].lParam, 1);
  EXPECT_EQ(messages[1].message, WM_PHOTO_SAVED);
  EXPECT_EQ(messages[1].wParam, 5u);
  EXPECT_EQ(messages[1].lParam, 2);
  EXPECT_EQ(messages[2].message, WM_ALBUM_DONE);
  EXPECT_EQ(Files(AlbumFolder("trip")), (std::set<std::string>{"a.jpg", "c.jpg"}));
  EXPECT_EQ(std::filesystem::file_size(AlbumFolder("trip") / "c.jpg"), 30000u);
  EXPECT_FALSE(std::filesystem::exists(m_dir.Path() / "list.xml"));  // read, then deleted
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
  EXPECT_EQ(Files(AlbumFolder("safe")), (std::set<std::string>{"x.jpg", "etcpasswd.jpg", "a.jpg",
                                                               "a_1.jpg", "a_2.jpg", "g.jpg"}));
  EXPECT_EQ(Files(m_dir.Path() / "root"), std::set<std::string>{"10001"});
  EXPECT_EQ(Files(m_dir.Path() / "root" / "10001"), std::set<std::string>{"safe"});
}

TEST_F(AlbumThreadTest, BrokenListEndsTheAlbumWithoutTouchingFolders) {
  std::filesystem::create_directories(AlbumFolder("old"));
  m_dir.Write("root/10001/old/keep.jpg", "k");
  SetListFile(m_dir.Write("list.xml", "<data><pic><name>a</name>"));
  m_worker.m_albumFolderName = L"old";
  m_worker.m_fromWebCache = 0;
  m_worker.Start();
  const auto messages = CollectUntil(WM_ALBUM_DONE);
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(m_dir.Path() / "list.xml"));
  EXPECT_TRUE(std::filesystem::exists(AlbumFolder("old") / "keep.jpg"));

  // The web cache form: a missing page, and no page named at all.
  SetListFile(m_dir.Path() / "no-such-page");
  m_worker.m_fromWebCache = 1;
  m_worker.Start();
  EXPECT_EQ(CollectUntil(WM_ALBUM_DONE).size(), 1u);
  m_worker.m_listFile.fill('\0');
  m_worker.Start();
  EXPECT_EQ(CollectUntil(WM_ALBUM_DONE).size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(AlbumFolder("old") / "keep.jpg"));
}

TEST_F(AlbumThreadTest, EmptyListRemakesTheFolderEmpty) {
  std::filesystem::create_directories(AlbumFolder("trip") / "sub");
  m_dir.Write("root/10001/trip/sub/old.jpg", "o");
  StartListed("trip", {});
  EXPECT_EQ(CollectUntil(WM_ALBUM_DONE).size(), 1u);
  EXPECT_TRUE(std::filesystem::is_empty(AlbumFolder("trip")));
}

TEST_F(AlbumThreadTest, StopInTheListedFormEndsWithoutAlbumDone) {
  StartListed("stop",
              {{"a", Image(1000, "1")}, {"b", Image(40000, "2", "slow")}, {"c", Image(1000, "3")}});
  const auto first = CollectUntil(WM_PHOTO_SAVED);
  m_worker.m_running = 0;
  EXPECT_EQ(m_worker.Wait(), 1);
  const auto rest = CollectRest();
  // The photo in progress may still finish; nothing after it starts, and no end is posted.
  ASSERT_LE(rest.size(), 1u);
  for (const PostedMessage& message : rest) {
    EXPECT_EQ(message.message, WM_PHOTO_SAVED);
    EXPECT_EQ(message.lParam, 2);
  }
  EXPECT_FALSE(std::filesystem::exists(AlbumFolder("stop") / "c.jpg"));
}

TEST_F(AlbumThreadTest, StopInTheCachedFormStillPostsAlbumDone) {
  StartCached("page",
              {{"a", Image(1000, "1")}, {"b", Image(40000, "2", "slow")}, {"c", Image(1000, "3")}});
  CollectUntil(WM_PHOTO_SAVED);
  m_worker.m_running = 0;
  const auto rest = CollectUntil(WM_ALBUM_DONE);
  EXPECT_EQ(rest.back().message, WM_ALBUM_DONE);
  EXPECT_LE(rest.size(), 2u);
  m_worker.Wait();
  EXPECT_FALSE(std::filesystem::exists(AlbumFolder("page") / "c.jpg"));
  EXPECT_TRUE(std::filesystem::exists(m_dir.Path() / "page.html"));  // the cache's file stays
}

TEST_F(AlbumThreadTest, CachedFormDownloadsThePagesPhotos) {
  StartCached("page", {{"one", Image(500, "1")}, {"two", Image(600, "2")}});
  const auto messages = CollectUntil(WM_ALBUM_DONE);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[1].lParam, 2);
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
  EXPECT_EQ(probe.Wait(), 1);  // gives up after 10 ms: the run is still held up
  EXPECT_EQ(probe.Wait(), 0);
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
}

}  // namespace
