#include "platform/url_cache.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "support/temp_dir.h"

namespace {

std::vector<std::string> Urls(const UrlCache& cache) {
  std::vector<std::string> urls;
  const std::optional<std::vector<UrlCacheEntry>> entries = cache.List();
  EXPECT_TRUE(entries.has_value());
  if (entries) {
    for (const UrlCacheEntry& entry : *entries) {
      urls.push_back(entry.url);
    }
  }
  return urls;
}

TEST(UrlCacheTest, EntriesAreListedInTheOrderWrittenAndReplacedPerUrl) {
  TempDir dir;
  UrlCache cache(dir.Path() / "cache");
  EXPECT_TRUE(Urls(cache).empty());  // nothing written yet is an empty cache
  EXPECT_FALSE(cache.Lookup("http://a/"));
  ASSERT_TRUE(cache.Store("http://a/", "A"));
  ASSERT_TRUE(cache.Store("http://b/?x=1&y=2", "B"));
  ASSERT_TRUE(cache.Store("http://c/", "C"));
  ASSERT_TRUE(cache.Store("http://a/", "A2"));  // moves to the end
  EXPECT_EQ(Urls(cache), (std::vector<std::string>{"http://b/?x=1&y=2", "http://c/", "http://a/"}));
  const auto a = cache.Lookup("http://a/");
  ASSERT_TRUE(a);
  EXPECT_EQ(ReadFileBytes(a->bodyFile), "A2");
  EXPECT_FALSE(cache.Lookup("http://a"));  // exact URLs only

  // With its body deleted, the entry still answers a lookup.
  std::filesystem::remove(a->bodyFile);
  EXPECT_TRUE(cache.Lookup("http://a/"));
}

TEST(UrlCacheTest, OldestEntriesGoBeyondTheSizeBound) {
  TempDir dir;
  UrlCache cache(dir.Path() / "cache", 10);
  ASSERT_TRUE(cache.Store("u1", "1234"));
  ASSERT_TRUE(cache.Store("u2", "1234"));
  ASSERT_TRUE(cache.Store("u3", "1234"));
  EXPECT_EQ(Urls(cache), (std::vector<std::string>{"u2", "u3"}));
  ASSERT_TRUE(cache.Store("big", std::string(50, 'x')));  // the newest stays, alone
  EXPECT_EQ(Urls(cache), std::vector<std::string>{"big"});
}

TEST(UrlCacheTest, TwoProcessesWritingAtOnceLoseNothing) {
  TempDir dir;
  const std::filesystem::path root = dir.Path() / "cache";
  const pid_t child = fork();
  if (child == 0) {
    UrlCache cache(root);
    for (int i = 0; i < 100; ++i) {
      cache.Store("child/" + std::to_string(i), "c");
    }
    _exit(0);
  }
  UrlCache cache(root);
  for (int i = 0; i < 100; ++i) {
    cache.Store("parent/" + std::to_string(i), "p");
  }
  int status = 0;
  waitpid(child, &status, 0);
  const std::optional<std::vector<UrlCacheEntry>> entries = cache.List();
  ASSERT_TRUE(entries);
  EXPECT_EQ(entries->size(), 200u);
  std::set<uint64_t> sequences;
  for (const UrlCacheEntry& entry : *entries) {
    sequences.insert(entry.sequence);
  }
  EXPECT_EQ(sequences.size(), 200u);
}

TEST(UrlCacheTest, UnreadableCacheCannotBeListed) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "cache");
  dir.Write("cache/entries", "not a folder");
  UrlCache cache(dir.Path() / "cache");
  EXPECT_FALSE(cache.List());
  EXPECT_FALSE(cache.Store("u", "b"));
}

}  // namespace
