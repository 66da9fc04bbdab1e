#include "platform/transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <random>
#include <system_error>

#include "platform/cookie_list.h"

namespace transfer_detail {

namespace {

constexpr long kMaxRedirects = 10;
constexpr long kReceiveBufferBytes = 256 * 1024;

// A random 64-bit number in hex, for a part file's name.
std::string RandomHex() {
  thread_local std::mt19937_64 engine{std::random_device{}()};
  char text[17];
  std::snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(engine()));
  return text;
}

// A new part file beside `target` with a short name of its own, created exclusively with the
// permissions a new file gets (mkstemp would make it private to the user).
FILE* CreatePartBeside(const std::filesystem::path& target, std::filesystem::path* name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        target.parent_path() / (std::string(kPartFilePrefix) + RandomHex() + ".part");
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

int StopCheck(void* running, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return Stopped(static_cast<const std::atomic<uint8_t>*>(running)) ? 1 : 0;
}

// The start and the whole length of "bytes <start>-<end>/<length>"; length -1 for "*".
bool ParseContentRange(const std::string& value, uint64_t* start, int64_t* length) {
  const std::string prefix = "bytes ";
  if (value.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  const char* at = value.data() + prefix.size();
  const char* end = value.data() + value.size();
  auto [afterStart, startError] = std::from_chars(at, end, *start);
  if (startError != std::errc() || afterStart == end || *afterStart != '-') {
    return false;
  }
  const char* slash = std::find(afterStart, end, '/');
  if (slash == end) {
    return false;
  }
  if (std::string_view(slash + 1, static_cast<size_t>(end - slash - 1)) == "*") {
    *length = -1;
    return true;
  }
  uint64_t whole = 0;
  auto [afterLength, lengthError] = std::from_chars(slash + 1, end, whole);
  if (lengthError != std::errc() || afterLength != end || whole > INT64_MAX) {
    return false;
  }
  *length = static_cast<int64_t>(whole);
  return true;
}

}  // namespace

Transfer::Transfer(size_t index, std::string address, std::filesystem::path target,
                   std::filesystem::path part, std::string validator, const TransferHooks* hooks)
    : m_index(index),
      m_address(std::move(address)),
      m_target(std::move(target)),
      m_hooks(hooks),
      m_part(std::move(part)),
      m_validator(std::move(validator)) {}

bool Transfer::OpenPart() {
  if (!m_part.empty() && !m_validator.empty()) {
    const int fd = open(m_part.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    struct stat info;
    if (fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
        lseek(fd, 0, SEEK_END) == info.st_size) {
      if (FILE* file = fdopen(fd, "ab")) {
        m_file.reset(file);
        m_resumeFrom = static_cast<uint64_t>(info.st_size);
        return true;
      }
    }
    if (fd >= 0) {
      close(fd);
    }
    DropPart();  // not a part that can be resumed: begin again
  }
  m_part.clear();
  m_validator.clear();
  m_resumeFrom = 0;
  m_file.reset(CreatePartBeside(m_target, &m_part));
  return m_file != nullptr;
}

void Transfer::DropPart() {
  if (!m_part.empty()) {
    std::error_code ec;
    std::filesystem::remove(m_part, ec);
  }
  m_part.clear();
  m_validator.clear();
  m_resumeFrom = 0;
}

bool Transfer::Begin(CURL* easy, const TransferBounds& bounds, const DownloadTimeouts& timeouts,
                     const std::atomic<uint8_t>* running) {
  if (!OpenPart()) {
    return false;
  }
  m_maxBytes = bounds.maxBytes;
  m_written = 0;
  m_total = -1;
  m_sawBody = false;
  m_discard = false;
  m_failed = false;
  m_resumable = false;
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
  curl_easy_setopt(easy, CURLOPT_FILETIME, 1L);
  // Larger receive buffer: big photos arrive in fewer, larger writes.
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, StopCheck);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, const_cast<std::atomic<uint8_t>*>(running));
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  m_headers.reset();
  if (m_resumeFrom > 0) {
    // CURLOPT_RANGE rather than CURLOPT_RESUME_FROM: libcurl fails a resume that the server
    // answers with the whole body, which here simply begins the part again.
    const std::string range = std::to_string(m_resumeFrom) + "-";
    curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());
    m_headers.reset(curl_slist_append(nullptr, ("If-Range: " + m_validator).c_str()));
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_headers.get());
  }
  // The signed-in session of the embedded browser goes with every request, and only that: the
  // handle's cookies are dropped first. Adding a cookie turns libcurl's cookie engine on; it is
  // not turned on with CURLOPT_COOKIEFILE, which leaks a list entry per handle (libcurl 7.88).
  curl_easy_setopt(easy, CURLOPT_COOKIELIST, "ALL");
  for (const std::string& line : CookieListSnapshot()) {
    curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
  }
  return true;
}

std::string Transfer::Header(const char* name) const {
  curl_header* header = nullptr;
  if (curl_easy_header(m_easy, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK ||
      header == nullptr || header->value == nullptr) {
    return {};
  }
  return header->value;
}

bool Transfer::OnFirstBody() {
  long status = 0;
  curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
  if (status < 200 || status >= 300) {
    m_discard = true;  // an error page is never part of a photo
    return true;
  }
  uint64_t start = 0;
  if (status == 206) {
    if (!ParseContentRange(Header("Content-Range"), &start, &m_total) || start != m_resumeFrom) {
      return false;  // not the rest of this part
    }
  } else {
    curl_off_t length = -1;
    curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    m_total = length;
    if (m_resumeFrom > 0) {
      // The whole body again (the photo changed, or the server takes no ranges): start over.
      if (std::fflush(m_file.get()) != 0 || ftruncate(fileno(m_file.get()), 0) != 0 ||
          fseeko(m_file.get(), 0, SEEK_SET) != 0) {
        return false;
      }
      m_resumeFrom = 0;
    }
  }
  if (m_total >= 0 && static_cast<uint64_t>(m_total) > m_maxBytes) {
    return false;
  }
  const std::string etag = Header("ETag");
  const std::string validator = !etag.empty() ? etag : Header("Last-Modified");
  const bool large = m_total >= 0 && static_cast<uint64_t>(m_total) > m_hooks->resumableAbove;
  m_resumable = large && !validator.empty();
  if (m_resumable && (m_resumeFrom == 0 || validator != m_validator)) {
    m_validator = validator;
    if (m_hooks->partStarted) {
      m_hooks->partStarted(m_index, m_part, m_validator, static_cast<uint64_t>(m_total));
    }
  }
  return true;
}

size_t Transfer::WriteBody(char* data, size_t size, size_t count, void* self) {
  return static_cast<Transfer*>(self)->OnBody(data, size * count);
}

size_t Transfer::OnBody(const char* data, size_t bytes) {
  if (bytes == 0) {
    return 0;
  }
  if (!m_sawBody) {
    m_sawBody = true;
    if (!OnFirstBody()) {
      m_failed = true;
      return 0;
    }
  }
  if (bytes > m_maxBytes - std::min(m_maxBytes, m_resumeFrom + m_written)) {
    m_failed = true;  // longer than this kind of answer may be
    return 0;
  }
  m_written += bytes;
  if (m_discard) {
    return bytes;
  }
  if (std::fwrite(data, 1, bytes, m_file.get()) != bytes) {
    m_failed = true;
    return 0;
  }
  return bytes;
}

bool Transfer::PastDeadline(const TransferBounds& bounds, const DownloadTimeouts& timeouts,
                            Clock::time_point now) const {
  if (bounds.document) {
    return now > m_started + std::chrono::seconds(timeouts.documentSeconds);
  }
  // A photo's bound grows with the length its answer declares; until then it has none.
  curl_off_t length = -1;
  if (curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK ||
      length < 0) {
    return false;
  }
  const long floor = std::max(1L, timeouts.photoFloorBytesPerSecond);
  return now > m_started + std::chrono::seconds(timeouts.photoBaseSeconds + length / floor);
}

TransferResult Transfer::Finish(CURLcode result, std::optional<Clock::duration>* retryAfter) {
  TransferResult outcome;
  long status = 0;
  curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
  outcome.status = status;
  curl_off_t askedSeconds = -1;
  curl_easy_getinfo(m_easy, CURLINFO_RETRY_AFTER, &askedSeconds);
  curl_off_t fileTime = -1;
  curl_easy_getinfo(m_easy, CURLINFO_FILETIME_T, &fileTime);
  const bool success = result == CURLE_OK && status >= 200 && status < 300;
  if (success) {
    outcome.etag = Header("ETag");
    outcome.lastModified = Header("Last-Modified");
    outcome.fileTime = fileTime;
  }
  m_easy = nullptr;
  m_headers.reset();
  // Closing the file is where a full disk may show; it counts as a failed download.
  const bool closed = std::fclose(m_file.release()) == 0;
  const uint64_t onDisk = m_discard ? m_resumeFrom : m_resumeFrom + m_written;
  const bool whole = m_total < 0 || onDisk == static_cast<uint64_t>(m_total);
  if (success && !m_failed && closed && whole && !m_discard) {
    outcome.bytes = onDisk;
    if (m_hooks->handOver) {
      outcome.result = S_OK;
      outcome.part = m_part;
      return outcome;
    }
    std::error_code ec;
    std::filesystem::rename(m_part, m_target, ec);
    if (!ec) {
      outcome.result = S_OK;
      return outcome;
    }
  }
  const bool broke = result == CURLE_RECV_ERROR || result == CURLE_SEND_ERROR ||
                     result == CURLE_GOT_NOTHING || result == CURLE_PARTIAL_FILE;
  const bool rangeRefused = status == 416 && m_resumeFrom > 0;
  // What the part file holds is worth keeping: the bytes of a large photo's answer that broke,
  // stopped or timed out, or a resumed part that this try added nothing to.
  bool keepPart = false;
  if (closed && !m_failed && !rangeRefused) {
    keepPart = (!m_sawBody || m_discard) ? m_resumeFrom > 0 : m_resumable && onDisk > 0;
  }
  if (keepPart) {
    outcome.part = m_part;
    outcome.partKept = true;
  } else {
    DropPart();
  }
  const bool busy = result == CURLE_OK && (status == 429 || status == 503);
  const bool brokeEarly = m_written == 0 && status == 0 && broke;
  if (busy || brokeEarly || rangeRefused || (keepPart && broke)) {
    *retryAfter = std::chrono::seconds(std::max<curl_off_t>(0, busy ? askedSeconds : 0));
  }
  return outcome;
}

}  // namespace transfer_detail
