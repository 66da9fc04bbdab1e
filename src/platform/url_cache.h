#pragma once

// A disk cache of web answers, one entry per URL, written by the embedded browser for every answer
// a page loads and searched by the program afterwards.
//
// Layout: <root>/entries/<sequence>-<hash>.url holds the URL and <sequence>-<hash>.body the answer;
// the sequence number (16 hex digits) orders entries by the time they were written. An entry
// exists while its .url file does; the body may have been deleted on its own (evicted), and the
// entry then still answers a lookup. Writes are atomic (temporary file, then rename) and go under
// an flock on <root>/lock, so several processes can share one cache. After each write the oldest
// entries go until the bodies together fit the size bound.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct UrlCacheEntry {
  uint64_t sequence = 0;
  std::string url;
  std::filesystem::path bodyFile;  // may no longer exist
};

class UrlCache {
 public:
  static constexpr uint64_t kDefaultMaxBytes = 256ull * 1024 * 1024;

  explicit UrlCache(std::filesystem::path root, uint64_t maxBytes = kDefaultMaxBytes);

  // The user's cache: $XDG_CACHE_HOME/zupictrove/urlcache, ~/.cache/... when that is unset.
  static UrlCache& Default();
  // Points the default cache elsewhere (tests, and a second profile).
  static void SetDefaultRoot(std::filesystem::path root);

  // Stores the answer of `url`, replacing an earlier entry for the same URL. False when the
  // cache folder cannot be written.
  bool Store(std::string_view url, std::string_view body);
  // The entry of exactly this URL, or nothing.
  std::optional<UrlCacheEntry> Lookup(std::string_view url) const;
  // Every entry, oldest first; nothing when the cache cannot be read.
  std::optional<std::vector<UrlCacheEntry>> List() const;

  const std::filesystem::path& Root() const { return m_root; }

 private:
  std::filesystem::path EntriesFolder() const { return m_root / "entries"; }
  void RemoveOlderEntriesOf(const std::string& url, uint64_t keepSequence) const;
  void Trim(uint64_t keepSequence) const;

  std::filesystem::path m_root;
  uint64_t m_maxBytes;
};
