#include "catalogue/web_cache.h"

#include <gtest/gtest.h>

#include "platform/code_page.h"
#include "platform/file_read.h"
#include "platform/url_cache.h"
#include "support/temp_dir.h"

namespace {

std::wstring Wide(const std::filesystem::path& path) {
  return Utf8ToWide(path.string());
}

class WebCacheTest : public ::testing::Test {
 protected:
  void SetUp() override { UrlCache::SetDefaultRoot(m_dir.Path() / "cache"); }
  void Store(const std::string& url, const std::string& body) {
    ASSERT_TRUE(UrlCache::Default().Store(url, body));
  }
  TempDir m_dir;
};

TEST_F(WebCacheTest, EvictDeletesOnlyTheCachedAnswerOfThatUrl) {
  EXPECT_FALSE(EvictCachedUrl(L"http://never/downloaded"));
  Store("http://a/list?uin=1", "answer");
  Store("http://a/list?uin=12", "other");
  std::wstring path;
  ASSERT_EQ(LocalFileOfCachedUrl(L"http://a/list?uin=1", &path), 0);
  EXPECT_EQ(ReadWholeFile(path).value_or(""), "answer");

  EXPECT_TRUE(EvictCachedUrl(L"http://a/list?uin=1"));
  EXPECT_FALSE(std::filesystem::exists(path));
  // The entry stays, so its file is still named, and a second eviction finds nothing to delete.
  std::wstring again;
  EXPECT_EQ(LocalFileOfCachedUrl(L"http://a/list?uin=1", &again), 0);
  EXPECT_EQ(again, path);
  EXPECT_FALSE(EvictCachedUrl(L"http://a/list?uin=1"));
  ASSERT_EQ(LocalFileOfCachedUrl(L"http://a/list?uin=12", &path), 0);
  EXPECT_TRUE(std::filesystem::exists(path));

  std::wstring untouched = L"keep";
  EXPECT_EQ(LocalFileOfCachedUrl(L"http://a/list?uin=", &untouched), -1);
  EXPECT_EQ(untouched, L"keep");
}

TEST_F(WebCacheTest, FindTakesTheNewestEntryOfExactlyThatAlbumThatHoldsTheMarker) {
  Store("http://x/cgi_view_album?uin=10001&albumid=V1", "\"origin_url\": older");
  Store("http://y/cgi_view_album?uin=10001&albumid=V1&t=9", "\"origin_url\":\"http://p/1.jpg\",");
  Store("http://z/cgi_view_album?uin=10001&albumid=V1#top", "no marker here");
  std::wstring path;
  EXPECT_EQ(FindCachedUrl(&path, L"cgi_view_album?uin=10001&albumid=V1"), 0);
  EXPECT_NE(ReadWholeFile(path).value_or("").find("p/1.jpg"), std::string::npos);

  // An album id that merely begins with the one searched for is another album.
  Store("http://w/cgi_view_album?uin=10001&albumid=V22", "origin_url");
  Store("http://w/cgi_view_album?uin=10001&albumid=V2x&a=cgi_view_album?uin=10001&albumid=V2",
        "origin_url");
  path.clear();
  EXPECT_EQ(FindCachedUrl(&path, L"cgi_view_album?uin=10001&albumid=V22"), 0);
  EXPECT_FALSE(path.empty());
  path.clear();
  EXPECT_EQ(FindCachedUrl(&path, L"cgi_view_album?uin=10001&albumid=V2"), 0);
  EXPECT_NE(ReadWholeFile(path).value_or("").find("origin_url"), std::string::npos);
  Store("http://w/cgi_view_album?uin=10001&albumid=V3z", "origin_url");
  path.clear();
  EXPECT_EQ(FindCachedUrl(&path, L"cgi_view_album?uin=10001&albumid=V3"), 0);
  EXPECT_TRUE(path.empty());

  // Case matters, and no qualifying entry leaves the path empty.
  path.clear();
  EXPECT_EQ(FindCachedUrl(&path, L"CGI_VIEW_ALBUM"), 0);
  EXPECT_TRUE(path.empty());
  Store("http://q/cgi_view_album?uin=5&albumid=A", "nothing");
  EXPECT_EQ(FindCachedUrl(&path, L"cgi_view_album?uin=5&albumid=A"), 0);
  EXPECT_TRUE(path.empty());
}

TEST_F(WebCacheTest, FindReportsACacheThatCannotBeRead) {
  std::wstring path;
  EXPECT_EQ(FindCachedUrl(&path, L"x"), 0);  // empty, not broken
  std::filesystem::create_directories(m_dir.Path() / "cache");
  m_dir.Write("cache/entries", "a file where the folder should be");
  EXPECT_EQ(FindCachedUrl(&path, L"x"), -1);
  EXPECT_TRUE(path.empty());
}

TEST_F(WebCacheTest, MarkerCountsOnlyBeforeTheFirstZeroByte) {
  EXPECT_TRUE(ContainsOriginUrl(Wide(m_dir.Write("a", "x origin_url y"))));
  EXPECT_FALSE(ContainsOriginUrl(Wide(m_dir.Write("b", std::string("x\0origin_url", 12)))));
  EXPECT_FALSE(ContainsOriginUrl(Wide(m_dir.Write("c", "ORIGIN_URL"))));
  EXPECT_FALSE(ContainsOriginUrl(Wide(m_dir.Write("d", ""))));
  EXPECT_FALSE(ContainsOriginUrl(Wide(m_dir.Path() / "missing")));
}

TEST_F(WebCacheTest, WholeFileAndTextReads) {
  EXPECT_FALSE(ReadWholeFile(Wide(m_dir.Write("empty", ""))));
  EXPECT_FALSE(ReadWholeFile(Wide(m_dir.Path() / "missing")));
  const auto ten = ReadWholeFile(Wide(m_dir.Write("ten", std::string("0123\r\n\0x89", 10))));
  ASSERT_TRUE(ten);
  EXPECT_EQ(ten->size(), 10u);
  EXPECT_EQ(ten->c_str()[10], '\0');
  EXPECT_EQ((*ten)[4], '\r');

  EXPECT_EQ(ReadTextFile(Wide(m_dir.Write("crlf", "\r\n\r\n"))).value_or("?"), "\n\n");
  EXPECT_EQ(ReadTextFile(Wide(m_dir.Write("mixed", "a\rb\r\nc"))).value_or("?"), "a\rb\nc");
  EXPECT_FALSE(ReadTextFile(Wide(m_dir.Write("zero", std::string("\0abc", 4)))));
  EXPECT_FALSE(ReadTextFile(Wide(m_dir.Write("empty2", ""))));
}

}  // namespace
