#pragma once

// Blocking HTTP downloads into files.
//
// DownloadUrlToFile fetches one http or https address with GET and writes the answer into a file.
// It reports S_OK only for a complete answer with a 2xx status. The body goes to a temporary file
// in the target's folder that is renamed over the target only on success, so a failed transfer
// leaves no file and never damages one that was there. The temporary file has a short name of its
// own (".zp-<random>.part"), so every target name that fits the file system can be written. Each
// thread keeps one libcurl handle, so connections to a host are reused across calls. Redirects are
// followed (at most 10, http and https only). An address's blanks inside it are sent as %20; line
// breaks are refused.
//
// Every transfer is bounded in time and size (TransferBounds). A document (an album list, a photo
// list) must come whole within DownloadTimeouts::documentSeconds. A photo must keep up at least
// photoFloorBytesPerSecond over any lowSpeedSeconds, and finish within photoBaseSeconds plus one
// second per photoFloorBytesPerSecond of its declared length, so a real slow link still works but
// a server that trickles never holds a transfer for long. A body longer than its cap ends the
// transfer (declared or not).
//
// A transfer given a run flag is aborted within kStopCheckMs once the flag reads 0, also while the
// server sends nothing: the transfer runs in a loop of ours that waits on its sockets for at most
// that long before it looks at the flag again.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

// Not an http or https address: nothing was fetched and the disk was not touched.
constexpr HRESULT INET_E_UNKNOWN_PROTOCOL = static_cast<HRESULT>(0x800C000Du);
// The transfer failed: no answer, an error status, a cut-off body, or the file could not be
// written.
constexpr HRESULT INET_E_DOWNLOAD_FAILURE = static_cast<HRESULT>(0x800C0008u);

// How long a transfer may go on after its run flag was cleared, in milliseconds.
constexpr int kStopCheckMs = 50;

// Largest photo that is downloaded at all.
constexpr uint64_t kMaxPhotoBytes = uint64_t{2} << 30;

// What a transfer fetches, which sets its bounds.
struct TransferBounds {
  bool document = false;               // a document: whole within documentSeconds; else a photo
  uint64_t maxBytes = kMaxPhotoBytes;  // the longest body taken
};
constexpr TransferBounds kPhotoTransfer{};
constexpr TransferBounds DocumentTransfer(uint64_t maxBytes) {
  return {true, maxBytes};
}

// `running`, when given, is the run flag of the work the transfer belongs to: 0 aborts it.
HRESULT DownloadUrlToFile(std::wstring_view url, std::wstring_view path,
                          const TransferBounds& bounds = kPhotoTransfer,
                          const std::atomic<uint8_t>* running = nullptr);

// Part files of ours are named "<kPartFilePrefix><16 hex digits>.part".
constexpr std::string_view kPartFilePrefix = ".zp-";
constexpr std::string_view kPartFileSuffix = ".part";

// Most transfers one call keeps in flight.
constexpr int kMaxConnections = 8;

// One address and the file it goes to.
struct DownloadItem {
  std::wstring url;
  std::wstring path;
};

// What a photo transfer hands back beside its result.
struct TransferResult {
  HRESULT result = INET_E_DOWNLOAD_FAILURE;
  // With TransferHooks::handOver, on success: the complete body, in a part file beside the target
  // that the caller puts in place. On a failure with partKept: the part file kept for resuming.
  std::filesystem::path part;
  bool partKept = false;     // a broken transfer of a large photo left its part file to resume
  std::string etag;          // the answer's ETag, as sent; empty when none
  std::string lastModified;  // the answer's Last-Modified, as sent; empty when none
  int64_t fileTime = -1;     // Last-Modified in seconds since 1970; -1 when none
  uint64_t bytes = 0;        // the length of the whole body on success
  long status = 0;           // the answer's HTTP status; 0 when no answer came
};

// A photo to fetch, resuming a part file of an earlier try when one is given.
struct PhotoTransferItem {
  std::wstring url;
  std::wstring path;           // where the photo goes (with handOver: the part file's folder)
  std::filesystem::path part;  // a part file of ours from a broken transfer; empty: none
  std::string validator;       // the ETag or Last-Modified of that part's answer
};

// A large photo's transfer whose part file is worth keeping has begun: `part` holds its body so
// far, `validator` is what a resumed request sends as If-Range, `length` the whole body's length.
using PartStarted = std::function<void(size_t index, const std::filesystem::path& part,
                                       const std::string& validator, uint64_t length)>;

struct TransferHooks {
  // The complete body stays in its part file for the caller (no rename here).
  bool handOver = false;
  // A photo longer than this whose transfer breaks keeps its part file (when its answer has a
  // validator), and is resumed with Range and If-Range: in a retry, or by a later item naming it.
  uint64_t resumableAbove = UINT64_MAX;
  PartStarted partStarted;  // called on the transfer's thread; may be empty
};

// Length above which a broken photo transfer is resumed rather than begun again.
constexpr uint64_t kResumableAboveBytes = uint64_t{1} << 20;

// Downloads photos as DownloadMany does, with the hooks, resuming the part files the items name:
// a 206 answer is appended to the part, a 200 begins it again, a 416 drops it and tries once more
// from the start. The finished body must have the length its answer declares.
void DownloadPhotos(const std::vector<PhotoTransferItem>& items, int connections,
                    const TransferHooks& hooks, const std::atomic<uint8_t>* running,
                    const std::function<void(size_t index, const TransferResult& result)>& done);

// Downloads `items` with up to `connections` (1 to kMaxConnections) transfers in flight at once
// on the calling thread, each as DownloadUrlToFile would, and calls `done` on this thread with
// each item's index and result as it ends, in the order they end. Connections to a host are
// reused. A photo answered 429 or 503 (after the Retry-After it asks for, up to 30 s) or whose
// connection broke before any byte came is tried again, at most 3 times, after a growing pause;
// every other failure is final at once. A stop (`running` 0) aborts every transfer in flight: each
// ends failed and leaves no file; the items not begun are reported failed too.
void DownloadMany(const std::vector<DownloadItem>& items, int connections,
                  const TransferBounds& bounds, const std::atomic<uint8_t>* running,
                  const std::function<void(size_t index, HRESULT result)>& done);

// DownloadMany with each item's whole result, which tells a server that answered (any status)
// from one that could not be reached (status 0).
void DownloadDocuments(const std::vector<DownloadItem>& items, int connections,
                       const TransferBounds& bounds, const std::atomic<uint8_t>* running,
                       const std::function<void(size_t index, const TransferResult& result)>& done);

// Ends every transfer in progress, and refuses new ones, for good: the program is ending. An
// abandoned transfer fails and leaves no file.
void AbandonDownloads();
// Lets transfers run again after AbandonDownloads (a test that ends one program and starts the
// next in the same process).
void AllowDownloads();

struct DownloadTimeouts {
  long connectSeconds = 15;  // to set up the connection
  // A transfer below its floor (photos: photoFloorBytesPerSecond; documents: 1 byte/s) for this
  // long is abandoned.
  long lowSpeedSeconds = 30;
  long documentSeconds = 20;  // the whole of an album-list or photo-list request
  long photoFloorBytesPerSecond = 4096;
  long photoBaseSeconds = 60;          // a photo's whole-transfer bound before its length is added
  long retryPauseMs = 500;             // the first pause before a photo is tried again; it doubles
  long longestRetryAfterSeconds = 30;  // a longer Retry-After is not waited for
};

// Timeouts for transfers started from now on, in every thread.
void SetDownloadTimeouts(const DownloadTimeouts& timeouts);
DownloadTimeouts GetDownloadTimeouts();
