#include "platform/url_cache.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <system_error>

#include "platform/file_write.h"

namespace {

constexpr std::string_view kUrlSuffix = ".url";
constexpr std::string_view kBodySuffix = ".body";

std::string Hex16(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// FNV-1a: a stable hash, the same in every process, for spreading URLs over file names.
uint64_t HashUrl(std::string_view url) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (char c : url) {
    hash ^= static_cast<uint8_t>(c);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

bool ReadFile(const std::filesystem::path& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// An exclusive flock on the cache's lock file for the life of the object.
class CacheLock {
 public:
  explicit CacheLock(const std::filesystem::path& file)
      : m_fd(open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (m_fd >= 0 && flock(m_fd, LOCK_EX) != 0) {
      close(m_fd);
      m_fd = -1;
    }
  }
  ~CacheLock() {
    if (m_fd >= 0) {
      flock(m_fd, LOCK_UN);
      close(m_fd);
    }
  }
  CacheLock(const CacheLock&) = delete;
  CacheLock& operator=(const CacheLock&) = delete;
  bool Held() const { return m_fd >= 0; }

 private:
  int m_fd;
};

// "<sequence>-<hash>.url" gives its sequence and hash.
bool ParseEntryName(const std::string& name, uint64_t* sequence, uint64_t* hash) {
  if (name.size() != 16 + 1 + 16 + kUrlSuffix.size() || name[16] != '-' ||
      name.compare(33, kUrlSuffix.size(), kUrlSuffix) != 0) {
    return false;
  }
  char* end = nullptr;
  const std::string seqText = name.substr(0, 16);
  const std::string hashText = name.substr(17, 16);
  *sequence = std::strtoull(seqText.c_str(), &end, 16);
  if (*end != '\0') {
    return false;
  }
  *hash = std::strtoull(hashText.c_str(), &end, 16);
  return *end == '\0';
}

struct EntryName {
  uint64_t sequence;
  uint64_t hash;
  std::filesystem::path urlFile;
};

std::optional<std::vector<EntryName>> ListEntryNames(const std::filesystem::path& folder) {
  std::error_code ec;
  if (!std::filesystem::exists(folder, ec) && !ec) {
    return std::vector<EntryName>{};  // nothing written yet
  }
  std::filesystem::directory_iterator it(folder, ec);
  if (ec) {
    return std::nullopt;
  }
  std::vector<EntryName> names;
  for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (ec) {
      return std::nullopt;
    }
    EntryName name;
    if (ParseEntryName(it->path().filename().string(), &name.sequence, &name.hash)) {
      name.urlFile = it->path();
      names.push_back(std::move(name));
    }
  }
  std::sort(names.begin(), names.end(),
            [](const EntryName& a, const EntryName& b) { return a.sequence < b.sequence; });
  return names;
}

std::filesystem::path BodyFileOf(const std::filesystem::path& urlFile) {
  std::filesystem::path body = urlFile;
  body.replace_extension(kBodySuffix);
  return body;
}

void RemoveEntry(const std::filesystem::path& urlFile) {
  std::error_code ec;
  std::filesystem::remove(urlFile, ec);  // the entry is gone once its URL file is
  std::filesystem::remove(BodyFileOf(urlFile), ec);
}

std::mutex g_defaultMutex;
std::unique_ptr<UrlCache> g_default;

std::filesystem::path UserCacheRoot() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  std::filesystem::path base;
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::filesystem::path(home != nullptr ? home : "/tmp") / ".cache";
  }
  return base / "zupictrove" / "urlcache";
}

}  // namespace

UrlCache::UrlCache(std::filesystem::path root, uint64_t maxBytes)
    : m_root(std::move(root)), m_maxBytes(maxBytes) {}

UrlCache& UrlCache::Default() {
  std::lock_guard<std::mutex> lock(g_defaultMutex);
  if (!g_default) {
    g_default = std::make_unique<UrlCache>(UserCacheRoot());
  }
  return *g_default;
}

void UrlCache::SetDefaultRoot(std::filesystem::path root) {
  std::lock_guard<std::mutex> lock(g_defaultMutex);
  g_default = std::make_unique<UrlCache>(std::move(root));
}

bool UrlCache::Store(std::string_view url, std::string_view body) {
  std::error_code ec;
  std::filesystem::create_directories(EntriesFolder(), ec);
  CacheLock lock(m_root / "lock");
  if (!lock.Held()) {
    return false;
  }
  // The next sequence number: one past the counter file, and past every entry there is, so that
  // a lost counter never reorders entries.
  uint64_t sequence = 1;
  std::string counter;
  if (ReadFile(m_root / "sequence", &counter)) {
    sequence = std::strtoull(counter.c_str(), nullptr, 10) + 1;
  }
  const auto names = ListEntryNames(EntriesFolder());
  if (names && !names->empty()) {
    sequence = std::max(sequence, names->back().sequence + 1);
  }
  if (!WriteFileAtomically(m_root / "sequence", std::to_string(sequence))) {
    return false;
  }

  const std::string stem = Hex16(sequence) + "-" + Hex16(HashUrl(url));
  const std::filesystem::path bodyFile = EntriesFolder() / (stem + std::string(kBodySuffix));
  const std::filesystem::path urlFile = EntriesFolder() / (stem + std::string(kUrlSuffix));
  if (!WriteFileAtomically(bodyFile, body)) {
    return false;
  }
  if (!WriteFileAtomically(urlFile, url)) {
    std::filesystem::remove(bodyFile, ec);
    return false;
  }
  RemoveOlderEntriesOf(std::string(url), sequence);
  Trim(sequence);
  return true;
}

void UrlCache::RemoveOlderEntriesOf(const std::string& url, uint64_t keepSequence) const {
  const auto names = ListEntryNames(EntriesFolder());
  if (!names) {
    return;
  }
  const uint64_t hash = HashUrl(url);
  std::string stored;
  for (const EntryName& name : *names) {
    if (name.hash == hash && name.sequence != keepSequence && ReadFile(name.urlFile, &stored) &&
        stored == url) {
      RemoveEntry(name.urlFile);
    }
  }
}

void UrlCache::Trim(uint64_t keepSequence) const {
  const auto names = ListEntryNames(EntriesFolder());
  if (!names) {
    return;
  }
  std::vector<uint64_t> sizes;
  uint64_t total = 0;
  for (const EntryName& name : *names) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(BodyFileOf(name.urlFile), ec);
    sizes.push_back(ec ? 0 : size);
    total += sizes.back();
  }
  for (size_t i = 0; i < names->size() && total > m_maxBytes; ++i) {
    if ((*names)[i].sequence == keepSequence) {
      continue;  // the answer just written stays, even alone above the bound
    }
    RemoveEntry((*names)[i].urlFile);
    total -= sizes[i];
  }
}

std::optional<UrlCacheEntry> UrlCache::Lookup(std::string_view url) const {
  const auto names = ListEntryNames(EntriesFolder());
  if (!names) {
    return std::nullopt;
  }
  const uint64_t hash = HashUrl(url);
  std::string stored;
  for (auto it = names->rbegin(); it != names->rend(); ++it) {
    if (it->hash == hash && ReadFile(it->urlFile, &stored) && stored == url) {
      return UrlCacheEntry{it->sequence, stored, BodyFileOf(it->urlFile)};
    }
  }
  return std::nullopt;
}

std::optional<std::vector<UrlCacheEntry>> UrlCache::List() const {
  const auto names = ListEntryNames(EntriesFolder());
  if (!names) {
    return std::nullopt;
  }
  std::vector<UrlCacheEntry> entries;
  entries.reserve(names->size());
  std::string stored;
  for (const EntryName& name : *names) {
    if (ReadFile(name.urlFile, &stored)) {
      entries.push_back(UrlCacheEntry{name.sequence, stored, BodyFileOf(name.urlFile)});
    }
  }
  return entries;
}
