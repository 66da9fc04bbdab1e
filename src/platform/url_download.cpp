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
#include "platform/transfer.h"

namespace {

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

namespace transfer_detail {

bool Stopped(const std::atomic<uint8_t>* running) {
  return g_abandoned || (running != nullptr && *running == 0);
}

}  // namespace transfer_detail

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

using transfer_detail::Clock;
using transfer_detail::Stopped;
using transfer_detail::Transfer;

constexpr int kMostRetries = 3;

void RunTransfers(const std::vector<PhotoTransferItem>& items, int connections,
                  const TransferBounds& bounds, const TransferHooks& hooks,
                  const std::atomic<uint8_t>* running,
                  const std::function<void(size_t index, const TransferResult& result)>& done) {
  const DownloadTimeouts timeouts = GetDownloadTimeouts();
  const size_t slots = static_cast<size_t>(std::clamp(connections, 1, kMaxConnections));
  auto fail = [&done](size_t index, HRESULT result) {
    TransferResult outcome;
    outcome.result = result;
    done(index, outcome);
  };
  std::deque<Transfer> waiting;
  for (size_t i = 0; i < items.size(); ++i) {
    const std::string address = RequestAddress(WideToUtf8(items[i].url));
    if (!IsHttpAddress(address)) {
      fail(i, INET_E_UNKNOWN_PROTOCOL);
      continue;
    }
    waiting.emplace_back(i, address, FsPath(items[i].path), items[i].part, items[i].validator,
                         &hooks);
  }
  ThreadHandles* handles = waiting.empty() ? nullptr : HandlesFor(slots);
  if (handles == nullptr) {
    for (const Transfer& transfer : waiting) {
      fail(transfer.Index(), E_OUTOFMEMORY);
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
    const TransferResult outcome = transfer->Finish(result, &retryAfter);
    if (outcome.result != S_OK && retryAfter && !bounds.document &&
        transfer->Tries() <= kMostRetries && !Stopped(running) &&
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
        fail(transfer.Index(), INET_E_DOWNLOAD_FAILURE);
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
        fail(transfer->Index(), INET_E_DOWNLOAD_FAILURE);
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

}  // namespace

void DownloadDocuments(
    const std::vector<DownloadItem>& items, int connections, const TransferBounds& bounds,
    const std::atomic<uint8_t>* running,
    const std::function<void(size_t index, const TransferResult& result)>& done) {
  std::vector<PhotoTransferItem> transfers;
  transfers.reserve(items.size());
  for (const DownloadItem& item : items) {
    transfers.push_back({item.url, item.path, {}, {}});
  }
  static const TransferHooks kPlain;
  RunTransfers(transfers, connections, bounds, kPlain, running, done);
}

void DownloadMany(const std::vector<DownloadItem>& items, int connections,
                  const TransferBounds& bounds, const std::atomic<uint8_t>* running,
                  const std::function<void(size_t index, HRESULT result)>& done) {
  DownloadDocuments(
      items, connections, bounds, running,
      [&done](size_t index, const TransferResult& result) { done(index, result.result); });
}

void DownloadPhotos(const std::vector<PhotoTransferItem>& items, int connections,
                    const TransferHooks& hooks, const std::atomic<uint8_t>* running,
                    const std::function<void(size_t index, const TransferResult& result)>& done) {
  RunTransfers(items, connections, kPhotoTransfer, hooks, running, done);
}
