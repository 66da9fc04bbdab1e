#include "platform/url_download.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/cookie_list.h"
#include "support/sample_service_process.h"
#include "support/temp_dir.h"

namespace {

class UrlDownloadTest : public ::testing::Test {
 protected:
  UrlDownloadTest() : m_service(Fixtures()) {}

  const std::filesystem::path& Fixtures() {
    std::filesystem::create_directories(m_fixtures.Path() / "www" / "static");
    m_fixtures.Write("www/static/page.txt", "hello, world");
    for (const char* fault : {"reset", "truncate", "status500", "stall", "trickle"}) {
      m_fixtures.Write(std::string("www/static/") + fault + ".bin", std::string(4096, 'z'));
      m_fixtures.Write(std::string("www/static/") + fault + ".bin.fault", fault);
    }
    m_fixtures.Write("www/static/undeclared.bin", std::string(200000, 'u'));
    m_fixtures.Write("www/static/undeclared.bin.fault", "undeclared");
    m_fixtures.Write("www/static/two words.txt", "spaced");
    return m_fixtures.Path();
  }

  std::wstring Target(const std::string& name) const {
    const std::string path = (m_files.Path() / name).string();
    return std::wstring(path.begin(), path.end());
  }
  // Names of everything in the target folder, to show that nothing was left behind.
  std::vector<std::string> FolderContents() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_files.Path())) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  TempDir m_fixtures;
  TempDir m_files;
  SampleServiceProcess m_service;
};

TEST_F(UrlDownloadTest, CompleteAnswerIsWrittenToTheFile) {
  EXPECT_EQ(DownloadUrlToFile(m_service.Url("www", "/static/page.txt"), Target("a.txt")), S_OK);
  EXPECT_EQ(ReadFileBytes(m_files.Path() / "a.txt"), "hello, world");
  // A second download over an existing file replaces it.
  m_files.Write("b.txt", "old");
  EXPECT_EQ(DownloadUrlToFile(m_service.Url("www", "/static/page.txt"), Target("b.txt")), S_OK);
  EXPECT_EQ(ReadFileBytes(m_files.Path() / "b.txt"), "hello, world");
}

TEST_F(UrlDownloadTest, FailedTransfersLeaveNoFileAndKeepAnExistingOne) {
  for (const char* name : {"/static/missing", "/static/reset.bin", "/static/truncate.bin",
                           "/static/status500.bin", "/redirect-loop"}) {
    EXPECT_NE(DownloadUrlToFile(m_service.Url("www", name), Target("x")), S_OK) << name;
    EXPECT_TRUE(FolderContents().empty()) << name;
  }
  m_files.Write("keep.txt", "precious");
  EXPECT_NE(DownloadUrlToFile(m_service.Url("www", "/static/reset.bin"), Target("keep.txt")), S_OK);
  EXPECT_EQ(ReadFileBytes(m_files.Path() / "keep.txt"), "precious");
  EXPECT_EQ(FolderContents().size(), 1u);
  // No folder to write into.
  EXPECT_NE(DownloadUrlToFile(m_service.Url("www", "/static/page.txt"), Target("no/such.txt")),
            S_OK);
}

TEST_F(UrlDownloadTest, OnlyHttpAndHttpsAreFetchedAlsoAfterRedirects) {
  m_files.Write("secret", "local file");
  const std::string local = (m_files.Path() / "secret").string();
  EXPECT_EQ(DownloadUrlToFile(L"file://" + std::wstring(local.begin(), local.end()), Target("x")),
            INET_E_UNKNOWN_PROTOCOL);
  EXPECT_EQ(DownloadUrlToFile(L"ftp://127.0.0.1/x", Target("x")), INET_E_UNKNOWN_PROTOCOL);
  EXPECT_EQ(DownloadUrlToFile(L"FILE:///etc/passwd", Target("x")), INET_E_UNKNOWN_PROTOCOL);
  EXPECT_EQ(FolderContents(), std::vector<std::string>{"secret"});

  const std::string redirect = "/redirect?to=file://" + local;
  EXPECT_NE(DownloadUrlToFile(m_service.Url("www", redirect), Target("x")), S_OK);
  EXPECT_EQ(FolderContents(), std::vector<std::string>{"secret"});
  // A redirect to another http address is followed.
  const std::string hop = "/redirect?to=http://" + m_service.Host("www") + "/static/page.txt";
  EXPECT_EQ(DownloadUrlToFile(m_service.Url("www", hop), Target("hop")), S_OK);
  EXPECT_EQ(ReadFileBytes(m_files.Path() / "hop"), "hello, world");
}

TEST_F(UrlDownloadTest, StalledServerEndsWithinTheLowSpeedTimeout) {
  const DownloadTimeouts saved = GetDownloadTimeouts();
  DownloadTimeouts quick = saved;
  quick.connectSeconds = 5;
  quick.lowSpeedSeconds = 2;
  SetDownloadTimeouts(quick);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_NE(DownloadUrlToFile(m_service.Url("www", "/static/stall.bin"), Target("x")), S_OK);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  SetDownloadTimeouts(saved);
  EXPECT_LT(elapsed, std::chrono::seconds(15));
  EXPECT_TRUE(FolderContents().empty());
}

TEST_F(UrlDownloadTest, ATricklingServerEndsADocumentWithinItsBoundAndAPhotoBelowItsFloor) {
  const DownloadTimeouts saved = GetDownloadTimeouts();
  DownloadTimeouts quick = saved;
  quick.documentSeconds = 1;  // the trickle keeps above 1 byte/s: only the whole bound ends it
  quick.lowSpeedSeconds = 2;
  SetDownloadTimeouts(quick);
  const std::wstring trickle = m_service.Url("www", "/static/trickle.bin");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(DownloadUrlToFile(trickle, Target("list"), DocumentTransfer(1 << 20)),
            INET_E_DOWNLOAD_FAILURE);
  const auto document = std::chrono::steady_clock::now() - start;
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(DownloadUrlToFile(trickle, Target("photo")), INET_E_DOWNLOAD_FAILURE);
  const auto photo = std::chrono::steady_clock::now() - start;
  SetDownloadTimeouts(saved);
  // 4096 bytes at 10 a second would take 400 s.
  EXPECT_LT(document, std::chrono::seconds(10));
  EXPECT_LT(photo, std::chrono::seconds(15));
  EXPECT_TRUE(FolderContents().empty());
}

TEST_F(UrlDownloadTest, AnAnswerLongerThanItsCapIsRefusedDeclaredOrNot) {
  const std::wstring page = m_service.Url("www", "/static/page.txt");  // 12 bytes, declared
  EXPECT_EQ(DownloadUrlToFile(page, Target("a"), DocumentTransfer(11)), INET_E_DOWNLOAD_FAILURE);
  EXPECT_EQ(DownloadUrlToFile(page, Target("a"), DocumentTransfer(12)), S_OK);
  const std::wstring chunked = m_service.Url("www", "/static/undeclared.bin");
  EXPECT_EQ(DownloadUrlToFile(chunked, Target("b"), DocumentTransfer(199999)),
            INET_E_DOWNLOAD_FAILURE);
  EXPECT_EQ(FolderContents(), std::vector<std::string>{"a"});
  EXPECT_EQ(DownloadUrlToFile(chunked, Target("b"), DocumentTransfer(200000)), S_OK);
  EXPECT_EQ(std::filesystem::file_size(m_files.Path() / "b"), 200000u);
}

TEST_F(UrlDownloadTest, BlanksInsideAnAddressAreSentEncodedAndLineBreaksRefused) {
  EXPECT_EQ(DownloadUrlToFile(m_service.Url("www", "/static/two words.txt"), Target("s")), S_OK);
  EXPECT_EQ(ReadFileBytes(m_files.Path() / "s"), "spaced");
  EXPECT_EQ(DownloadUrlToFile(m_service.Url("www", "/static/page.txt\r\nX-Evil: 1"), Target("t")),
            INET_E_UNKNOWN_PROTOCOL);
  EXPECT_FALSE(std::filesystem::exists(m_files.Path() / "t"));
}

TEST_F(UrlDownloadTest, ManyDownloadsAtOnceGiveTheFilesOfOneAtATime) {
  std::vector<DownloadItem> items;
  for (int i = 0; i < 12; ++i) {
    items.push_back({m_service.Url("img", "/img/" + std::to_string(3000 + i) + "/p" +
                                              std::to_string(i) + ".jpg"),
                     Target("many" + std::to_string(i))});
  }
  items.push_back({L"ftp://nowhere/x", Target("never")});
  items.push_back({m_service.Url("www", "/static/missing"), Target("missing")});
  std::vector<int> reported(items.size(), 0);
  std::vector<HRESULT> results(items.size(), E_FAIL);
  DownloadMany(items, 4, kPhotoTransfer, nullptr, [&](size_t index, HRESULT result) {
    ++reported[index];
    results[index] = result;
  });
  EXPECT_EQ(reported, std::vector<int>(items.size(), 1));
  for (int i = 0; i < 12; ++i) {
    ASSERT_EQ(results[i], S_OK) << i;
    EXPECT_EQ(DownloadUrlToFile(items[i].url, Target("one")), S_OK);
    EXPECT_EQ(ReadFileBytes(m_files.Path() / ("many" + std::to_string(i))),
              ReadFileBytes(m_files.Path() / "one"))
        << i;
  }
  EXPECT_EQ(results[12], INET_E_UNKNOWN_PROTOCOL);
  EXPECT_EQ(results[13], INET_E_DOWNLOAD_FAILURE);
  EXPECT_FALSE(std::filesystem::exists(m_files.Path() / "missing"));
}

TEST_F(UrlDownloadTest, ABusyOrDroppedPhotoIsTriedAgainAndOtherFailuresAreNot) {
  const DownloadTimeouts saved = GetDownloadTimeouts();
  DownloadTimeouts quick = saved;
  quick.retryPauseMs = 10;
  SetDownloadTimeouts(quick);
  std::vector<HRESULT> results(3, E_FAIL);
  DownloadMany({{m_service.Url("img", "/img/2000/busy.jpg?fault=busy"), Target("busy")},
                {m_service.Url("img", "/img/2000/drop.jpg?fault=drop"), Target("drop")},
                {m_service.Url("www", "/static/status500.bin"), Target("error")}},
               2, kPhotoTransfer, nullptr,
               [&](size_t index, HRESULT result) { results[index] = result; });
  // A document is never tried again: its answer must come whole within its bound.
  const HRESULT document = DownloadUrlToFile(m_service.Url("img", "/img/2000/busy2.jpg?fault=busy"),
                                             Target("doc"), DocumentTransfer(1 << 20));
  SetDownloadTimeouts(saved);
  EXPECT_EQ(results[0], S_OK);
  EXPECT_EQ(std::filesystem::file_size(m_files.Path() / "busy"), 2000u);
  EXPECT_EQ(results[1], S_OK);
  EXPECT_EQ(results[2], INET_E_DOWNLOAD_FAILURE);
  EXPECT_EQ(document, INET_E_DOWNLOAD_FAILURE);
}

TEST_F(UrlDownloadTest, AStopAbortsEveryTransferInFlightAndLeavesNoFile) {
  std::atomic<uint8_t> running{1};
  std::vector<DownloadItem> items;
  for (int i = 0; i < 6; ++i) {
    items.push_back(
        {m_service.Url("img", "/img/400000/slow" + std::to_string(i) + ".jpg?fault=slow"),
         Target("slow" + std::to_string(i))});
  }
  std::vector<HRESULT> results;
  std::thread stopper([&] {
    // Once every slot has a transfer under way (their temporary files exist), stop.
    while (FolderContents().size() < 3) {
      std::this_thread::yield();
    }
    running = 0;
  });
  DownloadMany(items, 3, kPhotoTransfer, &running,
               [&](size_t, HRESULT result) { results.push_back(result); });
  stopper.join();
  EXPECT_EQ(results, std::vector<HRESULT>(6, INET_E_DOWNLOAD_FAILURE));
  EXPECT_TRUE(FolderContents().empty());
}

TEST_F(UrlDownloadTest, SharedCookiesGoWithEveryRequestToTheirDomain) {
  ReplaceCookieList({".photo.localhost\tTRUE\t/\tFALSE\t0\tsession\tabc123"});
  EXPECT_EQ(DownloadUrlToFile(m_service.Url("www", "/echo-cookie"), Target("c1")), S_OK);
  EXPECT_EQ(ReadFileBytes(m_files.Path() / "c1"), "session=abc123");
  ReplaceCookieList({});
  EXPECT_EQ(DownloadUrlToFile(m_service.Url("www", "/echo-cookie"), Target("c2")), S_OK);
  EXPECT_EQ(ReadFileBytes(m_files.Path() / "c2"), "");
}

}  // namespace
