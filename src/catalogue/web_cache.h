#pragma once

// Operations on the web cache that the embedded browser fills and the downloads read from.

#include <cstdint>
#include <string>
#include <string_view>

// The key under which a cached album page gives a photo's address; a page without it lists none.
constexpr std::string_view kOriginUrlMarker = "origin_url";
// Longest album page that is read; a longer one lists no photo. The service's largest album page
// is far below it.
constexpr uintmax_t kMaxAlbumPageBytes = 4u * 1024 * 1024;

// Deletes the cached answer of exactly `url`. True when a cached file existed and was deleted;
// the cache's entry for the URL stays.
bool EvictCachedUrl(std::wstring_view url);

// Writes the path of the cached answer of exactly `url` into `path`. 0 with the path written;
// -1 when the cache has no entry for the URL; -2 when there was no memory for the entry; -3 when
// the entry could not be read.
int LocalFileOfCachedUrl(std::wstring_view url, std::wstring* path);

// Searches the cache, newest entry first, for an entry whose URL contains `pattern`
// (case-sensitive) followed by the end of the URL, '&' or '#', and whose answer contains the marker
// "origin_url", and writes its path into `path` (left as it is when there is none). -1 when the
// cache cannot be read, 0 otherwise.
int FindCachedUrl(std::wstring* path, std::wstring_view pattern);

// Whether the file's text, up to its first zero byte, contains "origin_url"; false for a file
// longer than kMaxAlbumPageBytes.
bool ContainsOriginUrl(std::wstring_view path);
