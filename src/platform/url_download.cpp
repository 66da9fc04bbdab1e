#include "platform/url_download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <system_error>

#include "platform/code_page.h"
#include "platform/cookie_list.h"
#include "platform/file_path.h"

namespace {

constexpr long kMaxRedirects = 10;
constexpr long kReceiveBufferBytes = 256 * 1024;

std::atomic<bool> g_abandoned{false};
std::mutex g_timeoutsMutex;
DownloadTimeouts g_timeouts;

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

// One transfer handle and one multi handle per thread. The multi handle drives the transfer (so
// that a stop is seen while the server is silent) and keeps connections to a host open between
// calls. The easy handle is removed from it after every transfer, and is cleaned up first.
struct ThreadTransfer {
  std::unique_ptr<CURLM, MultiDeleter> multi;
  std::unique_ptr<CURL, CurlDeleter> easy;
};

ThreadTransfer* ThreadHandles() {
  thread_local ThreadTransfer transfer;
  if (!transfer.multi) {
    InitCurlOnce();
    transfer.multi.reset(curl_multi_init());
    transfer.easy.reset(curl_easy_init());
    if (!transfer.multi || !transfer.easy) {
      transfer.multi.reset();
      transfer.easy.reset();
      return nullptr;
    }
  }
  return &transfer;
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
  uint64_t written = 0;
  uint64_t maxBytes = 0;
  bool failed = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* userdata) {
  auto* body = static_cast<BodyFile*>(userdata);
  const size_t bytes = size * count;
  if (bytes == 0) {
    return 0;
  }
  if (bytes > body->maxBytes - body->written) {
    body->failed = true;  // longer than this kind of answer may be
    return 0;
  }
  body->written += bytes;
  if (std::fwrite(data, 1, bytes, body->file) != bytes) {
    body->failed = true;
    return 0;
  }
  return bytes;
}

// A random 64-bit number in hex, for a temporary file's name.
std::string RandomHex() {
  thread_local std::mt19937_64 engine{std::random_device{}()};
  char text[17];
  std::snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(engine()));
  return text;
}

// A temporary file beside `target` with a short name of its own, created exclusively with the
// permissions a new file gets (mkstemp would make it private to the user).
FILE* CreateTemporaryBeside(const std::filesystem::path& target, std::string* name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate =
        (target.parent_path() / (".zp-" + RandomHex() + ".part")).string();
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

bool Stopped(const std::atomic<uint8_t>* running) {
  return g_abandoned || (running != nullptr && *running == 0);
}

int StopCheck(void* running, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return Stopped(static_cast<const std::atomic<uint8_t>*>(running)) ? 1 : 0;
}

// When the whole transfer must have ended, if it has a bound yet: a document's is fixed, a
// photo's grows with the length its answer declares.
std::optional<std::chrono::steady_clock::time_point> Deadline(
    CURL* easy, const TransferBounds& bounds, const DownloadTimeouts& timeouts,
    std::chrono::steady_clock::time_point start) {
  if (bounds.document) {
    return start + std::chrono::seconds(timeouts.documentSeconds);
  }
  curl_off_t length = -1;
  if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK ||
      length < 0) {
    return std::nullopt;
  }
  const long floor = std::max(1L, timeouts.photoFloorBytesPerSecond);
  return start + std::chrono::seconds(timeouts.photoBaseSeconds + length / floor);
}

// Runs the transfer of `easy` on `multi` until it ends, is stopped or runs out of time; its
// result.
CURLcode Perform(CURLM* multi, CURL* easy, const TransferBounds& bounds,
                 const DownloadTimeouts& timeouts, const std::atomic<uint8_t>* running) {
  if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
    return CURLE_FAILED_INIT;
  }
  const auto start = std::chrono::steady_clock::now();
  CURLcode result = CURLE_ABORTED_BY_CALLBACK;
  int active = 1;
  while (!Stopped(running)) {
    if (curl_multi_perform(multi, &active) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    if (active == 0) {
      int queued = 0;
      result = CURLE_FAILED_INIT;
      while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
          result = message->data.result;
        }
      }
      break;
    }
    const auto deadline = Deadline(easy, bounds, timeouts, start);
    if (deadline && std::chrono::steady_clock::now() > *deadline) {
      result = CURLE_OPERATION_TIMEDOUT;
      break;
    }
    if (curl_multi_poll(multi, nullptr, 0, kStopCheckMs, nullptr) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
  }
  curl_multi_remove_handle(multi, easy);
  return result;
}

// The address as it is sent: blanks inside it as %20. Empty when it cannot be sent (a line break,
// which would end the request line).
std::string RequestAddress(std::string_view url) {
  std::string address;
  for (const char c : url) {
    if (c == '\r' || c == '\n') {
      return {};
    }
    if (c == ' ') {
      address += "%20";
    } else {
      address += c;
    }
  }
  return address;
}

}  // namespace

void AbandonDownloads() {
  g_abandoned = true;
}

void AllowDownloads() {
  g_abandoned = false;
}

void SetDownloadTimeouts(const DownloadTimeouts& timeouts) {
  std::lock_guard<std::mutex> lock(g_timeoutsMutex);
  g_timeouts = timeouts;
}

DownloadTimeouts GetDownloadTimeouts() {
  std::lock_guard<std::mutex> lock(g_timeoutsMutex);
  return g_timeouts;
}

HRESULT DownloadUrlToFile(std::wstring_view url, std::wstring_view path,
                          const TransferBounds& bounds, const std::atomic<uint8_t>* running) {
  const std::string address = RequestAddress(WideToUtf8(url));
  if (!IsHttpAddress(address)) {
    return INET_E_UNKNOWN_PROTOCOL;
  }
  const DownloadTimeouts timeouts = GetDownloadTimeouts();
  if (Stopped(running)) {
    return INET_E_DOWNLOAD_FAILURE;
  }
  ThreadTransfer* handles = ThreadHandles();
  if (handles == nullptr) {
    return E_OUTOFMEMORY;
  }
  CURL* curl = handles->easy.get();
  const std::filesystem::path target = FsPath(path);
  std::string temporary;
  BodyFile body;
  body.maxBytes = bounds.maxBytes;
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
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeouts.connectSeconds);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT,
                   bounds.document ? 1L : timeouts.photoFloorBytesPerSecond);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeouts.lowSpeedSeconds);
  // An answer that declares a longer body is refused before any of it is written.
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(bounds.maxBytes));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  // Larger receive buffer: big photos arrive in fewer, larger writes.
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, StopCheck);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<uint8_t>*>(running));
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  // The signed-in session of the embedded browser goes with every request, and only that: the
  // handle's cookies are dropped first. Adding a cookie turns libcurl's cookie engine on; it is
  // not turned on with CURLOPT_COOKIEFILE, which leaks a list entry per handle (libcurl 7.88).
  curl_easy_setopt(curl, CURLOPT_COOKIELIST, "ALL");
  for (const std::string& line : CookieListSnapshot()) {
    curl_easy_setopt(curl, CURLOPT_COOKIELIST, line.c_str());
  }

  const CURLcode result = Perform(handles->multi.get(), curl, bounds, timeouts, running);
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
