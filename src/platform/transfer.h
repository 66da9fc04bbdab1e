#pragma once

// One item's HTTP transfer inside the download loop (url_download.cpp): its part file, its libcurl
// handle while in flight, its tries, and what its answer said.
//
// The body goes to a part file beside the target. A resumed transfer opens the part file it is
// given and asks for the rest (Range, with If-Range naming the validator of the answer the part
// came from): a 206 that starts where the part ends is appended, a 200 begins the part again. An
// error answer's body is never written. A large photo whose answer has a validator keeps its part
// file when the transfer breaks, so that a retry, or a later run, goes on from there.

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/url_download.h"

namespace transfer_detail {

using Clock = std::chrono::steady_clock;

struct HeaderListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

// Whether the download of the program is abandoned, or the run `running` stopped.
bool Stopped(const std::atomic<uint8_t>* running);

class Transfer {
 public:
  // `part` and `validator`: a part file to resume and the validator of its answer, if any.
  Transfer(size_t index, std::string address, std::filesystem::path target,
           std::filesystem::path part, std::string validator, const TransferHooks* hooks);

  size_t Index() const { return m_index; }
  int Tries() const { return m_tries; }
  Clock::time_point ReadyAt() const { return m_readyAt; }
  CURL* Easy() const { return m_easy; }
  void WaitUntil(Clock::time_point when) { m_readyAt = when; }

  // Opens the part file (a new one, or the one to resume) and sets up `easy`; false when the file
  // cannot be made.
  bool Begin(CURL* easy, const TransferBounds& bounds, const DownloadTimeouts& timeouts,
             const std::atomic<uint8_t>* running);
  bool PastDeadline(const TransferBounds& bounds, const DownloadTimeouts& timeouts,
                    Clock::time_point now) const;
  // Ends the transfer with libcurl's `result`. On success without hand-over the file goes into
  // place. When the failure is worth another try, `retryAfter` gets the pause the server asked for
  // (zero when none) and the transfer stays ready to begin again, resuming its kept part if any.
  TransferResult Finish(CURLcode result, std::optional<Clock::duration>* retryAfter);

 private:
  static size_t WriteBody(char* data, size_t size, size_t count, void* self);
  size_t OnBody(const char* data, size_t bytes);
  // Looks at the answer when its first body bytes arrive: whether they are written at all, where,
  // and whether the part is worth keeping. False when the answer cannot be used.
  bool OnFirstBody();
  std::string Header(const char* name) const;
  bool OpenPart();
  void DropPart();

  size_t m_index;
  std::string m_address;
  std::filesystem::path m_target;
  const TransferHooks* m_hooks;
  std::filesystem::path m_part;  // the part file, once there is one
  std::string m_validator;       // of the answer the part's bytes came from
  std::unique_ptr<FILE, FileCloser> m_file;
  uint64_t m_maxBytes = 0;
  uint64_t m_resumeFrom = 0;  // bytes in the part when the request went out
  uint64_t m_written = 0;     // bytes written by this try
  int64_t m_total = -1;       // the whole body's length, when the answer declares it
  bool m_sawBody = false;
  bool m_discard = false;    // an error answer: its body is not written
  bool m_failed = false;     // a write failed, the body is too long, or the answer is unusable
  bool m_resumable = false;  // this answer's part file is worth keeping
  std::unique_ptr<curl_slist, HeaderListDeleter> m_headers;
  CURL* m_easy = nullptr;
  Clock::time_point m_started;
  Clock::time_point m_readyAt;
  int m_tries = 0;
};

}  // namespace transfer_detail
