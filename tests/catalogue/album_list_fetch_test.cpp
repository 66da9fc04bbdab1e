#include "catalogue/album_list_fetch.h"

#include <gtest/gtest.h>

#include "catalogue/app_state.h"
#include "catalogue/service_config.h"
#include "platform/code_page.h"
#include "platform/url_cache.h"
#include "platform/xml_file.h"
#include "support/sample_service_process.h"
#include "support/temp_dir.h"

namespace {

// What one album-list server answers for one user.
struct Answer {
  int albums = 0;          // usable albums in the document
  const char* fault = "";  // a fault word, or "missing" for no answer at all
};

class AlbumListFetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProcessCodePage("UTF-8");
    UrlCache::SetDefaultRoot(m_dir.Path() / "cache");
    m_workFolder = Utf8ToWide((m_dir.Path() / "Res").string()) + L"/";
  }
  void TearDown() override {
    AppState::Destroy();
    SetProcessCodePage("");
  }

  void Serve(int32_t uin, const std::array<Answer, 4>& answers) {
    for (int server = 1; server <= 4; ++server) {
      const Answer& answer = answers[server - 1];
      const std::string folder = "alist" + std::to_string(server);
      std::filesystem::create_directories(m_fixtures.Path() / folder);
      if (std::string(answer.fault) == "missing") {
        continue;
      }
      std::string doc = "<?xml version=\"1.0\"?><list>";
      for (int i = 0; i < answer.albums; ++i) {
        doc += "<album><id>s" + std::to_string(server) + "a" + std::to_string(i) +
               "</id><name>Album " + std::to_string(i) + "</name><total>3</total></album>";
      }
      doc += "<album><id>nototal</id><name>x</name></album></list>";
      const std::string file = folder + "/" + std::to_string(uin) + ".xml";
      m_fixtures.Write(file, doc);
      if (answer.fault[0] != '\0') {
        m_fixtures.Write(file + ".fault", answer.fault);
      }
    }
  }

  // Starts the service and points the configuration at it.
  void Start() {
    m_service = std::make_unique<SampleServiceProcess>(m_fixtures.Path());
    ServiceConfig config = ServiceConfig::Defaults();
    for (int i = 0; i < 4; ++i) {
      const std::string host = m_service->Host("alist" + std::to_string(i + 1));
      config.albumListHosts[i] = Utf8ToWide(host);
    }
    SetService(config);
  }

  bool Fetch(int32_t uin) {
    AppState::Instance()->m_uin = uin;
    return FetchAlbumList(m_workFolder);
  }

  std::string FirstAlbumId() {
    const auto& albums = AppState::Instance()->m_albums;
    return albums.empty() ? "" : albums.front()->m_albumId;
  }

  TempDir m_dir;
  TempDir m_fixtures;
  std::unique_ptr<SampleServiceProcess> m_service;
  std::wstring m_workFolder;
};

TEST_F(AlbumListFetchTest, ChoiceRuleOverRealHttp) {
  Serve(10001, {{{10}, {10}, {0}, {0}}});
  Serve(10002, {{{0}, {5}, {9}, {0}}});
  Serve(10003, {{{10}, {0}, {0}, {3}}});
  Serve(10004, {{{0}, {2}, {0}, {0}}});
  Start();
  AppState* state = AppState::Instance();

  ASSERT_TRUE(Fetch(10001));
  EXPECT_EQ(FirstAlbumId(), "s1a0");
  EXPECT_EQ(state->m_albums.size(), 10u);
  EXPECT_EQ(state->m_photoHostLabel, L"p1");

  ASSERT_TRUE(Fetch(10002));
  EXPECT_EQ(FirstAlbumId(), "s3a0");
  EXPECT_EQ(state->m_photoHostLabel, L"p3");

  ASSERT_TRUE(Fetch(10003));  // server 4 wins with any album at all
  EXPECT_EQ(FirstAlbumId(), "s4a0");
  EXPECT_EQ(state->m_albums.size(), 3u);
  EXPECT_EQ(state->m_photoHostLabel, L"p4");

  ASSERT_TRUE(Fetch(10004));
  EXPECT_EQ(state->m_photoHostLabel, L"p2");  // the label and nothing else

  // The servers are asked at once; the one that answers last still wins by the rule.
  Serve(10005, {{{7}, {8}, {0}, {1, "slow"}}});
  ASSERT_TRUE(Fetch(10005));
  EXPECT_EQ(FirstAlbumId(), "s4a0");
  EXPECT_EQ(state->m_photoHostLabel, L"p4");

  // Every answer was deleted once read; the working folder was made for it.
  EXPECT_TRUE(std::filesystem::is_directory(m_dir.Path() / "Res"));
  EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path() / "Res"));
}

TEST_F(AlbumListFetchTest, FailuresCountAsNoAlbumsAndKeepTheLabel) {
  Serve(10001, {{{4}, {0}, {0}, {0}}});
  Serve(20002, {{{5, "status500"}, {5, "reset"}, {5, "missing"}, {5, "truncate"}}});
  Serve(20003, {{{0}, {0}, {0}, {0}}});
  Serve(20004, {{{0}, {6, "reset"}, {2}, {0}}});
  Serve(20005, {{{5, "status500"}, {5, "reset"}, {5, "status500"}, {5, "truncate"}}});
  Start();
  AppState* state = AppState::Instance();
  ASSERT_TRUE(Fetch(10001));
  ASSERT_EQ(state->m_photoHostLabel, L"p1");

  // Another user whose servers all fail: the earlier user's albums are gone all the same.
  EXPECT_FALSE(Fetch(20002));
  EXPECT_TRUE(state->m_albums.empty());
  EXPECT_EQ(state->m_photoHostLabel, L"p1");

  EXPECT_FALSE(Fetch(20003));
  EXPECT_TRUE(state->m_albums.empty());

  // Whether any server answered at all: one answering 404, or an empty list, is there; servers
  // that fail or break off each are not.
  EXPECT_FALSE(ReadAlbumList(m_workFolder, 20002).unreachable);
  EXPECT_FALSE(ReadAlbumList(m_workFolder, 20003).unreachable);
  EXPECT_TRUE(ReadAlbumList(m_workFolder, 20005).unreachable);

  ASSERT_TRUE(Fetch(20004));  // a failed server is passed over
  EXPECT_EQ(FirstAlbumId(), "s3a0");
  EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path() / "Res"));
}

TEST_F(AlbumListFetchTest, AnyWorkingFolderTheFileSystemTakesWorksAndOverlongListsAreRefused) {
  Serve(10001, {{{2}, {0}, {0}, {0}}});
  // A list over its cap, with many albums: refused while it downloads, so it counts none.
  std::string huge = "<?xml version=\"1.0\"?><list>";
  while (huge.size() <= kMaxAlbumListBytes) {
    huge += "<album><id>h</id><name>big</name><total>1</total></album>";
  }
  m_fixtures.Write("alist2/10002.xml", huge + "</list>");
  Start();
  // A working folder of about 600 bytes, made of folders of up to 100.
  std::filesystem::path deep = m_dir.Path();
  while (deep.string().size() < 600) {
    deep /= std::string(100, 'd');
  }
  std::filesystem::create_directories(deep);
  m_workFolder = Utf8ToWide((deep / "Res").string()) + L"/";
  ASSERT_TRUE(Fetch(10001));
  EXPECT_EQ(AppState::Instance()->m_albums.size(), 2u);
  EXPECT_TRUE(std::filesystem::is_empty(deep / "Res"));
  EXPECT_FALSE(Fetch(10002));
}

TEST_F(AlbumListFetchTest, ChosenServerFailingOnTheSecondDownloadGivesNothing) {
  Serve(10001, {{{3}, {0}, {0}, {0}}});
  Start();
  ASSERT_TRUE(Fetch(10001));
  // The second answer is read from a changed fixture: now without a usable album.
  m_fixtures.Write("alist1/30001.xml",
                   "<l><album><id>a</id><name>n</name><total>1</total></album></l>");
  AppState* state = AppState::Instance();
  state->m_uin = 30001;
  state->ClearAlbums();
  m_fixtures.Write("alist1/30001.xml.fault", "status500");
  const std::wstring path = m_workFolder + L"30001.xml";
  AlbumListResult result;
  EXPECT_FALSE(LoadChosenAlbumList(30001, 1, path, WideToUtf8(path), &result));
  EXPECT_FALSE(LoadChosenAlbumList(30001, 5, path, WideToUtf8(path), &result));
  EXPECT_TRUE(result.albums.empty());
  EXPECT_FALSE(InstallAlbumList(std::move(result)));
  EXPECT_TRUE(state->m_albums.empty());
  EXPECT_EQ(state->m_photoHostLabel, L"p1");
}

}  // namespace
