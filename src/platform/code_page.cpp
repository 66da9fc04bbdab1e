#include "platform/code_page.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr const char* kWideEncoding = "WCHAR_T";
constexpr wchar_t kWideReplacement = 0xFFFD;
constexpr char kAnsiReplacement = '?';
// The longest character of any code page iconv knows (GB18030 and UTF-8 stop at 4).
constexpr size_t kMaxCharBytes = 8;

std::mutex g_codePageMutex;
std::string g_codePage;  // empty until decided

std::string LocaleCodePage() {
  const char* codeset = nl_langinfo(CODESET);
  std::string name = codeset != nullptr ? codeset : "";
  if (name.empty() || name == "ANSI_X3.4-1968" || name == "ASCII" || name == "US-ASCII") {
    return "UTF-8";
  }
  return name;
}

// One iconv conversion descriptor, closed with the object.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from)
      : m_cd(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (Valid()) {
      iconv_close(m_cd);
    }
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
  void Reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

  // Converts all of `input`. Input that cannot be converted is replaced by `replacement` (bytes
  // of the target encoding) and `skip` input bytes are passed over.
  std::string Convert(std::string_view input, std::string_view replacement, size_t skip) {
    std::string out;
    if (!Valid()) {
      return out;
    }
    Reset();
    char chunk[1024];
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    while (true) {
      char* outPtr = chunk;
      size_t outLeft = sizeof(chunk);
      const bool flushing = inLeft == 0;
      size_t rc = flushing ? iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft)
                           : iconv(m_cd, &in, &inLeft, &outPtr, &outLeft);
      const int err = errno;
      out.append(chunk, static_cast<size_t>(outPtr - chunk));
      if (rc != static_cast<size_t>(-1)) {
        if (flushing) {
          break;
        }
        continue;
      }
      if (err == E2BIG) {
        continue;
      }
      if (flushing) {
        break;
      }
      // EILSEQ or EINVAL: an input sequence that cannot be converted, or is cut off at the end.
      out.append(replacement);
      const size_t step = std::min(skip, inLeft);
      in += step;
      inLeft -= step;
      Reset();
    }
    return out;
  }

  // Bytes taken by the character at the start of `input`, or 0 when it starts no valid character.
  size_t CharLength(std::string_view input) {
    const size_t limit = std::min(kMaxCharBytes, input.size());
    for (size_t length = 1; length <= limit; ++length) {
      Reset();
      char* in = const_cast<char*>(input.data());
      size_t inLeft = length;
      wchar_t wide[4];
      char* outPtr = reinterpret_cast<char*>(wide);
      size_t outLeft = sizeof(wide);
      size_t rc = iconv(m_cd, &in, &inLeft, &outPtr, &outLeft);
      if (rc != static_cast<size_t>(-1) && inLeft == 0) {
        return length;
      }
      if (rc == static_cast<size_t>(-1) && errno != EINVAL) {
        return 0;
      }
    }
    return 0;
  }

 private:
  iconv_t m_cd;
};

// Opening a converter costs more than most conversions: each thread keeps the ones it used.
Converter& CachedConverter(const std::string& to, const std::string& from) {
  thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Converter>> cache;
  std::unique_ptr<Converter>& slot = cache[{to, from}];
  if (!slot) {
    slot = std::make_unique<Converter>(to, from);
  }
  return *slot;
}

std::string_view UpToZero(std::string_view text) {
  return text.substr(0, std::min(text.find('\0'), text.size()));
}

std::wstring_view UpToZero(std::wstring_view text) {
  return text.substr(0, std::min(text.find(L'\0'), text.size()));
}

std::wstring ToWide(std::string_view text, const std::string& encoding) {
  text = UpToZero(text);
  if (text.empty()) {
    return {};
  }
  Converter& converter = CachedConverter(kWideEncoding, encoding);
  const wchar_t replacement = kWideReplacement;
  std::string bytes = converter.Convert(
      text, std::string_view(reinterpret_cast<const char*>(&replacement), sizeof(replacement)), 1);
  std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(wchar_t));
  return wide;
}

std::string FromWide(std::wstring_view text, const std::string& encoding) {
  text = UpToZero(text);
  if (text.empty()) {
    return {};
  }
  Converter& converter = CachedConverter(encoding, kWideEncoding);
  return converter.Convert(
      std::string_view(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)),
      std::string_view(&kAnsiReplacement, 1), sizeof(wchar_t));
}

}  // namespace

std::string ProcessCodePage() {
  std::lock_guard<std::mutex> lock(g_codePageMutex);
  if (g_codePage.empty()) {
    g_codePage = LocaleCodePage();
  }
  return g_codePage;
}

void SetProcessCodePage(std::string iconvName) {
  std::lock_guard<std::mutex> lock(g_codePageMutex);
  g_codePage = std::move(iconvName);
}

std::wstring AnsiToWide(std::string_view ansi) {
  return ToWide(ansi, ProcessCodePage());
}

size_t AnsiToWide(std::string_view ansi, wchar_t* target, size_t capacity) {
  const std::wstring wide = AnsiToWide(ansi);
  const size_t units = std::min(wide.size(), capacity);
  std::copy_n(wide.data(), units, target);
  return units;
}

std::string WideToAnsi(std::wstring_view text) {
  return FromWide(text, ProcessCodePage());
}

std::string WideToUtf8(std::wstring_view text) {
  return FromWide(text, "UTF-8");
}

std::wstring Utf8ToWide(std::string_view text) {
  return ToWide(text, "UTF-8");
}

bool WideToAnsi(std::wstring_view text, AnsiField& target) {
  target.fill('\0');
  const std::string ansi = WideToAnsi(text);
  if (ansi.size() >= target.size()) {
    return false;
  }
  std::copy(ansi.begin(), ansi.end(), target.begin());
  return true;
}

size_t AnsiPrefixLength(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) {
    return text.size();
  }
  Converter& converter = CachedConverter(kWideEncoding, ProcessCodePage());
  size_t pos = 0;
  while (pos < maxBytes) {
    size_t length = converter.Valid() ? converter.CharLength(text.substr(pos)) : 1;
    if (length == 0) {
      length = 1;
    }
    if (pos + length > maxBytes) {
      break;
    }
    pos += length;
  }
  return pos;
}
