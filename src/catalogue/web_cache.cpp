#include "catalogue/web_cache.h"

#include <new>
#include <system_error>

#include "catalogue/file_read.h"
#include "platform/code_page.h"
#include "platform/file_path.h"
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

int FindCachedUrl(std::wstring* path, std::wstring_view pattern) {
  const std::optional<std::vector<UrlCacheEntry>> entries = UrlCache::Default().List();
  if (!entries) {
    return -1;
  }
  const std::string needle = WideToUtf8(pattern);
  for (const UrlCacheEntry& entry : *entries) {
    if (entry.url.find(needle) == std::string::npos) {
      continue;
    }
    const std::wstring local = Utf8ToWide(entry.bodyFile.string());
    if (ContainsOriginUrl(local)) {
      *path = local;
      break;
    }
  }
  return 0;
}

bool ContainsOriginUrl(std::wstring_view path) {
  const std::optional<std::string> text = ReadTextFile(path);
  return text && text->find(kOriginUrlMarker) != std::string::npos;
}
