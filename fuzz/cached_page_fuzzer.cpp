// Feeds arbitrary cached answers to the marker search of the web cache.
//
// The input is "<pattern>\n<url>\n<body>": the answer is stored under the URL in an empty cache,
// then searched for with the pattern. The search must find it exactly when the URL contains the
// pattern as a whole (followed by the end of the URL, '&' or '#'), the pattern is not empty, and
// the body, up to its first zero byte, contains the marker.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "catalogue/web_cache.h"
#include "platform/code_page.h"
#include "platform/url_cache.h"
#include "require.h"

namespace {

std::string_view NextLine(std::string_view* rest) {
  const size_t end = rest->find('\n');
  const std::string_view line = rest->substr(0, end);
  rest->remove_prefix(end == std::string_view::npos ? rest->size() : end + 1);
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("zp-fuzz-cache-" + std::to_string(getpid()));
  static const bool once = [] {
    UrlCache::SetDefaultRoot(root);
    SetProcessCodePage("UTF-8");
    return true;
  }();
  (void)once;
  std::error_code ec;
  std::filesystem::remove_all(root, ec);

  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string pattern(NextLine(&rest));
  const std::string url(NextLine(&rest));
  const std::string body(rest);
  if (pattern.find('\0') != std::string::npos || url.find('\0') != std::string::npos) {
    return 0;  // wide texts end at a zero; such inputs say nothing new
  }
  if (!UrlCache::Default().Store(url, body)) {
    return 0;
  }

  // Texts that are not valid UTF-8 change when they pass through wide text; compare what the
  // search actually compares.
  const std::wstring widePattern = Utf8ToWide(pattern);
  const std::string searchedPattern = WideToUtf8(widePattern);
  const std::string text = body.substr(0, body.find('\0'));
  bool whole = false;
  for (size_t at = url.find(searchedPattern); !searchedPattern.empty() && at != std::string::npos;
       at = url.find(searchedPattern, at + 1)) {
    const size_t end = at + searchedPattern.size();
    whole = whole || end == url.size() || url[end] == '&' || url[end] == '#';
  }
  const bool expected = whole && text.find(kOriginUrlMarker) != std::string::npos;

  std::wstring path;
  Require(FindCachedUrl(&path, widePattern) == 0);
  Require(path.empty() != expected);
  return 0;
}
