#include "platform/url_download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

#include "platform/code_page.h"
#include "platform/cookie_list.h"
#include "platform/file_path.h"

namespace {

constexpr long kMaxRedirects = 10;
constexpr long kReceiveBufferBytes = 256 * 1024;

std::atomic<bool> g_abandoned{false};
std::atomic<long> g_connectSeconds{DownloadTimeouts{}.connectSeconds};
std::atomic<long> g_lowSpeedSeconds{DownloadTimeouts{}.lowSpeedSeconds};

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

// One handle per thread: its connection cache keeps connections to a host open between calls.
CURL* ThreadHandle() {
  thread_local std::unique_ptr<CURL, CurlDeleter> handle;
  if (!handle) {
    InitCurlOnce();
    handle.reset(curl_easy_init());
  }
  return handle.get();
}

bool IsHttpAddress(std::string_view url) {
  auto startsWithNoCase = [url](std::string_view prefix) {
    if (url.size() < prefix.size()) {
      return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
      char c = url[i];
      if (c >= 'A' && c <= 'Z') {
        c = static_cast<char>(c - 'A' + 'a');
      }
      if (c != prefix[i]) {
        return false;
      }
    }
    return true;
  };
  return startsWithNoCase("http://") || startsWithNoCase("https://");
}

// The body goes here while it arrives; a failed write stops the transfer.
struct BodyFile {
  FILE* file = nullptr;
  bool failed = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* userdata) {
  auto* body = static_cast<BodyFile*>(userdata);
  const size_t bytes = size * count;
  if (bytes == 0) {
    return 0;
  }
  if (std::fwrite(data, 1, bytes, body->file) != bytes) {
    body->failed = true;
    return 0;
  }
  return bytes;
}

// A temporary file beside `target`, created exclusively with the permissions a new file gets
// (mkstemp would make it private to the user).
FILE* CreateTemporaryBeside(const std::filesystem::path& target, std::string* name) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate =
        (target.parent_path() / ("." + target.filename().string() + ".part-" +
                                 std::to_string(getpid()) + "-" + std::to_string(counter++)))
            .string();
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) {
        continue;
      }
      return nullptr;
    }
    FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
      close(fd);
      unlink(candidate.c_str());
      return nullptr;
    }
    *name = candidate;
    return file;
  }
  return nullptr;
}

int AbandonCheck(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return g_abandoned ? 1 : 0;
}

}  // namespace

void AbandonDownloads() {
  g_abandoned = true;
}

void AllowDownloads() {
  g_abandoned = false;
}

void SetDownloadTimeouts(const DownloadTimeouts& timeouts) {
  g_connectSeconds = timeouts.connectSeconds;
  g_lowSpeedSeconds = timeouts.lowSpeedSeconds;
}

DownloadTimeouts GetDownloadTimeouts() {
  return {g_connectSeconds, g_lowSpeedSeconds};
}

HRESULT DownloadUrlToFile(std::wstring_view url, std::wstring_view path) {
  const std::string address = WideToUtf8(url);
  if (!IsHttpAddress(address) || address.find_first_of(" \r\n") != std::string::npos) {
    return INET_E_UNKNOWN_PROTOCOL;
  }
  if (g_abandoned) {
    return INET_E_DOWNLOAD_FAILURE;
  }
  CURL* curl = ThreadHandle();
  if (curl == nullptr) {
    return E_OUTOFMEMORY;
  }
  const std::filesystem::path target = FsPath(path);
  std::string temporary;
  BodyFile body;
  body.file = CreateTemporaryBeside(target, &temporary);
  if (body.file == nullptr) {
    return INET_E_DOWNLOAD_FAILURE;
  }

  curl_easy_reset(curl);  // keeps the connection cache, forgets the last call's options
  curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, g_connectSeconds.load());
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, g_lowSpeedSeconds.load());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  // Larger receive buffer: big photos arrive in fewer, larger writes.
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, AbandonCheck);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  // The signed-in session of the embedded browser goes with every request, and only that: the
  // handle's cookies are dropped first. Adding a cookie turns libcurl's cookie engine on; it is
  // not turned on with CURLOPT_COOKIEFILE, which leaks a list entry per handle (libcurl 7.88).
  curl_easy_setopt(curl, CURLOPT_COOKIELIST, "ALL");
  for (const std::string& line : CookieListSnapshot()) {
    curl_easy_setopt(curl, CURLOPT_COOKIELIST, line.c_str());
  }

  const CURLcode result = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  // Closing the file is where a full disk may show; it counts as a failed download.
  const bool closed = std::fclose(body.file) == 0;
  const bool complete = result == CURLE_OK && status >= 200 && status < 300 && !body.failed;
  std::error_code ec;
  if (!complete || !closed) {
    std::filesystem::remove(temporary, ec);
    return INET_E_DOWNLOAD_FAILURE;
  }
  std::filesystem::rename(temporary, target, ec);
  if (ec) {
    std::filesystem::remove(temporary, ec);
    return INET_E_DOWNLOAD_FAILURE;
  }
  return S_OK;
}
