#include "catalogue/web_cache.h"

#include <new>
#include <system_error>

#include "platform/code_page.h"
#include "platform/file_path.h"
#include "platform/file_read.h"
#include "platform/url_cache.h"

int LocalFileOfCachedUrl(std::wstring_view url, std::wstring* path) {
  try {
    const std::optional<UrlCacheEntry> entry = UrlCache::Default().Lookup(WideToUtf8(url));
    if (!entry) {
      return -1;
    }
    const std::wstring local = Utf8ToWide(entry->bodyFile.string());
    if (local.empty()) {
      return -3;
    }
    *path = local;
    return 0;
  } catch (const std::bad_alloc&) {
    return -2;
  }
}

bool EvictCachedUrl(std::wstring_view url) {
  std::wstring path;
  if (LocalFileOfCachedUrl(url, &path) != 0) {
    return false;
  }
  std::error_code ec;
  return std::filesystem::remove(FsPath(path), ec) && !ec;
}

namespace {

// Whether `pattern` occurs in `url` as a whole: what follows it ends the query value (the end of
// the address, '&' or '#'), so that the pattern of album "V2" does not find album "V22".
bool ContainsWholePattern(std::string_view url, std::string_view pattern) {
  for (size_t at = url.find(pattern); at != std::string_view::npos;
       at = url.find(pattern, at + 1)) {
    const size_t end = at + pattern.size();
    if (end == url.size() || url[end] == '&' || url[end] == '#') {
      return true;
    }
  }
  return false;
}

}  // namespace

int FindCachedUrl(std::wstring* path, std::wstring_view pattern) {
  const std::optional<std::vector<UrlCacheEntry>> entries = UrlCache::Default().List();
  if (!entries) {
    return -1;
  }
  const std::string needle = WideToUtf8(pattern);
  // Newest first: a page fetched again replaces what an older visit left.
  for (auto entry = entries->rbegin(); entry != entries->rend(); ++entry) {
    if (needle.empty() || !ContainsWholePattern(entry->url, needle)) {
      continue;
    }
    const std::wstring local = Utf8ToWide(entry->bodyFile.string());
    if (ContainsOriginUrl(local)) {
      *path = local;
      break;
    }
  }
  return 0;
}

bool ContainsOriginUrl(std::wstring_view path) {
  const std::optional<std::string> text = ReadTextFile(path, kMaxAlbumPageBytes);
  return text && text->find(kOriginUrlMarker) != std::string::npos;
}
