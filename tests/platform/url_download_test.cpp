#include "platform/url_download.h"

#include <gtest/gtest.h>

#include <chrono>

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
    for (const char* fault : {"reset", "truncate", "status500", "stall"}) {
      m_fixtures.Write(std::string("www/static/") + fault + ".bin", std::string(4096, 'z'));
      m_fixtures.Write(std::string("www/static/") + fault + ".bin.fault", fault);
    }
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
  SetDownloadTimeouts({5, 2});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_NE(DownloadUrlToFile(m_service.Url("www", "/static/stall.bin"), Target("x")), S_OK);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  SetDownloadTimeouts(saved);
  EXPECT_LT(elapsed, std::chrono::seconds(15));
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
