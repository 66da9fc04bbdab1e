#include "platform/url_download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <deque>
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

// Per thread: one multi handle, which drives the transfers (so that a stop is seen while a server
// is silent) and keeps connections to a host open between calls, and up to kMaxConnections easy
// handles. An easy handle is removed from the multi handle when its transfer ends, and the easy
// handles are cleaned up before the multi handle.
struct ThreadHandles {
  std::unique_ptr<CURLM, MultiDeleter> multi;
  std::vector<std::unique_ptr<CURL, CurlDeleter>> easy;
};

// The thread's multi handle with at least `count` easy handles; null when they cannot be made.
ThreadHandles* HandlesFor(size_t count) {
  thread_local ThreadHandles handles;
  if (!handles.multi) {
    InitCurlOnce();
    handles.multi.reset(curl_multi_init());
    if (!handles.multi) {
      return nullptr;
    }
  }
  while (handles.easy.size() < count) {
    std::unique_ptr<CURL, CurlDeleter> easy(curl_easy_init());
    if (!easy) {
      return nullptr;
    }
    handles.easy.push_back(std::move(easy));
  }
  return &handles;
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
  HRESULT outcome = INET_E_DOWNLOAD_FAILURE;
  DownloadMany({{std::wstring(url), std::wstring(path)}}, 1, bounds, running,
               [&outcome](size_t, HRESULT result) { outcome = result; });
  return outcome;
}

namespace {

using Clock = std::chrono::steady_clock;

// One item's transfer: its file, its handle while in flight, and its tries.
class Transfer {
 public:
  Transfer(size_t index, std::string address, std::filesystem::path target)
      : m_index(index), m_address(std::move(address)), m_target(std::move(target)) {}

  size_t Index() const { return m_index; }
  int Tries() const { return m_tries; }
  Clock::time_point ReadyAt() const { return m_readyAt; }
  CURL* Easy() const { return m_easy; }

  // Opens the temporary file and sets up `easy` for the transfer; false when the file cannot be
  // made.
  bool Begin(CURL* easy, const TransferBounds& bounds, const DownloadTimeouts& timeouts,
             const std::atomic<uint8_t>* running) {
    m_body = BodyFile{};
    m_body.maxBytes = bounds.maxBytes;
    m_body.file = CreateTemporaryBeside(m_target, &m_temporary);
    if (m_body.file == nullptr) {
      return false;
    }
    m_easy = easy;
    m_started = Clock::now();
    ++m_tries;
    curl_easy_reset(easy);  // keeps the connection cache, forgets the last call's options
    curl_easy_setopt(easy, CURLOPT_URL, m_address.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, timeouts.connectSeconds);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT,
                     bounds.document ? 1L : timeouts.photoFloorBytesPerSecond);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, timeouts.lowSpeedSeconds);
    // An answer that declares a longer body is refused before any of it is written.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(bounds.maxBytes));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // Larger receive buffer: big photos arrive in fewer, larger writes.
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &m_body);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, StopCheck);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, const_cast<std::atomic<uint8_t>*>(running));
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    // The signed-in session of the embedded browser goes with every request, and only that: the
    // handle's cookies are dropped first. Adding a cookie turns libcurl's cookie engine on; it is
    // not turned on with CURLOPT_COOKIEFILE, which leaks a list entry per handle (libcurl 7.88).
    curl_easy_setopt(easy, CURLOPT_COOKIELIST, "ALL");
    for (const std::string& line : CookieListSnapshot()) {
      curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
    }
    return true;
  }

  bool PastDeadline(const TransferBounds& bounds, const DownloadTimeouts& timeouts,
                    Clock::time_point now) const {
    const auto deadline = Deadline(m_easy, bounds, timeouts, m_started);
    return deadline && now > *deadline;
  }

  // Ends the transfer with `result`: the file goes into place on success, else it goes. When the
  // failure is one that is worth another try, `retryAfter` gets the pause the server asked for
  // (zero when it asked for none) and the transfer stays ready to begin again.
  HRESULT Finish(CURLcode result, std::optional<Clock::duration>* retryAfter) {
    long status = 0;
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t askedSeconds = -1;
    curl_easy_getinfo(m_easy, CURLINFO_RETRY_AFTER, &askedSeconds);
    m_easy = nullptr;
    // Closing the file is where a full disk may show; it counts as a failed download.
    const bool closed = std::fclose(m_body.file) == 0;
    m_body.file = nullptr;
    const bool complete = result == CURLE_OK && status >= 200 && status < 300 && !m_body.failed;
    std::error_code ec;
    if (complete && closed) {
      std::filesystem::rename(m_temporary, m_target, ec);
      if (!ec) {
        return S_OK;
      }
    }
    std::filesystem::remove(m_temporary, ec);
    const bool busy = result == CURLE_OK && (status == 429 || status == 503);
    const bool brokeEarly =
        m_body.written == 0 && status == 0 &&
        (result == CURLE_RECV_ERROR || result == CURLE_SEND_ERROR || result == CURLE_GOT_NOTHING);
    if (busy || brokeEarly) {
      *retryAfter = std::chrono::seconds(std::max<curl_off_t>(0, busy ? askedSeconds : 0));
    }
    return INET_E_DOWNLOAD_FAILURE;
  }

  void WaitUntil(Clock::time_point when) { m_readyAt = when; }

 private:
  size_t m_index;
  std::string m_address;
  std::filesystem::path m_target;
  std::string m_temporary;
  BodyFile m_body;
  CURL* m_easy = nullptr;
  Clock::time_point m_started;
  Clock::time_point m_readyAt;
  int m_tries = 0;
};

constexpr int kMostRetries = 3;

}  // namespace

void DownloadMany(const std::vector<DownloadItem>& items, int connections,
                  const TransferBounds& bounds, const std::atomic<uint8_t>* running,
                  const std::function<void(size_t index, HRESULT result)>& done) {
  const DownloadTimeouts timeouts = GetDownloadTimeouts();
  const size_t slots = static_cast<size_t>(std::clamp(connections, 1, kMaxConnections));
  std::deque<Transfer> waiting;
  for (size_t i = 0; i < items.size(); ++i) {
    const std::string address = RequestAddress(WideToUtf8(items[i].url));
    if (!IsHttpAddress(address)) {
      done(i, INET_E_UNKNOWN_PROTOCOL);
      continue;
    }
    waiting.emplace_back(i, address, FsPath(items[i].path));
  }
  ThreadHandles* handles = waiting.empty() ? nullptr : HandlesFor(slots);
  if (handles == nullptr) {
    for (const Transfer& transfer : waiting) {
      done(transfer.Index(), E_OUTOFMEMORY);
    }
    return;
  }
  CURLM* multi = handles->multi.get();
  // Politeness: never more transfers at once than the caller's connections, so never more
  // connections to one host.
  curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(slots));
  std::vector<std::unique_ptr<Transfer>> inFlight(slots);
  auto freeSlot = [&]() -> int {
    for (size_t i = 0; i < slots; ++i) {
      if (!inFlight[i]) {
        return static_cast<int>(i);
      }
    }
    return -1;
  };
  auto end = [&](size_t slot, CURLcode result) {
    std::unique_ptr<Transfer> transfer = std::move(inFlight[slot]);
    curl_multi_remove_handle(multi, transfer->Easy());
    std::optional<Clock::duration> retryAfter;
    const HRESULT outcome = transfer->Finish(result, &retryAfter);
    if (outcome != S_OK && retryAfter && !bounds.document && transfer->Tries() <= kMostRetries &&
        !Stopped(running) &&
        *retryAfter <= std::chrono::seconds(timeouts.longestRetryAfterSeconds)) {
      const Clock::duration pause = std::max<Clock::duration>(
          *retryAfter, std::chrono::milliseconds(timeouts.retryPauseMs << (transfer->Tries() - 1)));
      transfer->WaitUntil(Clock::now() + pause);
      waiting.push_back(std::move(*transfer));
      return;
    }
    done(transfer->Index(), outcome);
  };

  while (true) {
    if (Stopped(running)) {
      for (size_t slot = 0; slot < slots; ++slot) {
        if (inFlight[slot]) {
          end(slot, CURLE_ABORTED_BY_CALLBACK);
        }
      }
      for (const Transfer& transfer : waiting) {
        done(transfer.Index(), INET_E_DOWNLOAD_FAILURE);
      }
      return;
    }
    // Start what is ready, in list order, while there is room.
    const Clock::time_point now = Clock::now();
    for (auto it = waiting.begin(); it != waiting.end();) {
      const int slot = freeSlot();
      if (slot < 0) {
        break;
      }
      if (it->ReadyAt() > now) {
        ++it;
        continue;
      }
      auto transfer = std::make_unique<Transfer>(std::move(*it));
      it = waiting.erase(it);
      CURL* easy = handles->easy[static_cast<size_t>(slot)].get();
      if (!transfer->Begin(easy, bounds, timeouts, running) ||
          curl_multi_add_handle(multi, easy) != CURLM_OK) {
        done(transfer->Index(), INET_E_DOWNLOAD_FAILURE);
        continue;
      }
      inFlight[static_cast<size_t>(slot)] = std::move(transfer);
    }
    if (waiting.empty() && std::none_of(inFlight.begin(), inFlight.end(),
                                        [](const auto& transfer) { return transfer != nullptr; })) {
      return;
    }
    int active = 0;
    if (curl_multi_perform(multi, &active) != CURLM_OK) {
      for (size_t slot = 0; slot < slots; ++slot) {
        if (inFlight[slot]) {
          end(slot, CURLE_FAILED_INIT);
        }
      }
      continue;
    }
    int queued = 0;
    bool ended = false;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg != CURLMSG_DONE) {
        continue;
      }
      for (size_t slot = 0; slot < slots; ++slot) {
        if (inFlight[slot] && inFlight[slot]->Easy() == message->easy_handle) {
          end(slot, message->data.result);
          ended = true;
          break;
        }
      }
    }
    if (ended) {
      continue;  // the next transfers start at once
    }
    const Clock::time_point later = Clock::now();
    for (size_t slot = 0; slot < slots; ++slot) {
      if (inFlight[slot] && inFlight[slot]->PastDeadline(bounds, timeouts, later)) {
        end(slot, CURLE_OPERATION_TIMEDOUT);
      }
    }
    curl_multi_poll(multi, nullptr, 0, kStopCheckMs, nullptr);
  }
}
