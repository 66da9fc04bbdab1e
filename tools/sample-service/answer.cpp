#include "answer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "ranges.h"

std::atomic<bool> g_stopping{false};
std::atomic<int> g_latencyMs{0};
std::atomic<int> g_rateKbps{0};

size_t PacedPiece(size_t length) {
  const int rate = g_rateKbps;
  if (rate <= 0) {
    return length;
  }
  // 20 pieces a second, each a twentieth of a second's worth.
  constexpr int kPiecesPerSecond = 20;
  std::this_thread::sleep_for(std::chrono::milliseconds(1000 / kPiecesPerSecond));
  return std::min<size_t>(length, std::max(1, rate * 1024 / 8 / kPiecesPerSecond));
}

bool FirstTimeFor(const std::string& key) {
  static std::mutex mutex;
  static std::set<std::string> seen;
  std::lock_guard<std::mutex> lock(mutex);
  return seen.insert(key).second;
}

namespace {

int PortOf(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  }
  if (address.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  }
  return -1;
}

// The server library does not hand out its sockets, so the request's socket is found among the
// process's descriptors by its two ports. Connecting it to AF_UNSPEC drops the connection with a
// reset at once; the descriptor stays valid for the library to close.
void ResetConnection(const httplib::Request& request) {
  DIR* fds = opendir("/proc/self/fd");
  if (fds == nullptr) {
    return;
  }
  while (dirent* entry = readdir(fds)) {
    const int fd = std::atoi(entry->d_name);
    sockaddr_storage local{};
    sockaddr_storage peer{};
    socklen_t localSize = sizeof(local);
    socklen_t peerSize = sizeof(peer);
    if (fd <= 2 || getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
        getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) {
      continue;
    }
    if (PortOf(local) == request.local_port && PortOf(peer) == request.remote_port) {
      const linger hard{1, 0};
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof(hard));
      sockaddr unspecified{};
      unspecified.sa_family = AF_UNSPEC;
      connect(fd, &unspecified, sizeof(unspecified));
    }
  }
  closedir(fds);
}

}  // namespace

void Answer(const httplib::Request& request, httplib::Response& response, std::string body,
            const std::string& contentType, Fault fault) {
  if (fault == Fault::kBusyOnce || fault == Fault::kDropOnce || fault == Fault::kBreakOnce) {
    const bool first = FirstTimeFor(request.path + "?" + request.get_param_value("fault"));
    if (!first) {
      fault = Fault::kNone;
    } else if (fault == Fault::kBreakOnce) {
      fault = Fault::kReset;  // the first answer breaks off as "reset" does
    } else if (fault == Fault::kBusyOnce) {
      SendWhole(request);
      response.status = 429;
      response.set_header("Retry-After", "1");
      response.set_content("busy", "text/plain");
      return;
    } else {
      ResetConnection(request);
      response.status = 500;
      return;
    }
  }
  if (fault == Fault::kLate) {
    // Nothing goes out before the handler returns, so waiting here holds back the first byte.
    std::this_thread::sleep_for(std::chrono::milliseconds(kLateAnswerMs));
    fault = Fault::kNone;
  }
  if (fault == Fault::kNone || fault == Fault::kChanging) {
    response.set_content(std::move(body), contentType.c_str());
    return;
  }
  if (fault == Fault::kStatus500) {
    SendWhole(request);
    response.status = 500;
    response.set_content("internal error", "text/plain");
    return;
  }
  auto shared = std::make_shared<std::string>(std::move(body));
  if (fault == Fault::kUndeclared) {
    response.set_chunked_content_provider(
        contentType.c_str(), [shared](size_t offset, httplib::DataSink& sink) {
          if (offset >= shared->size()) {
            sink.done();
            return true;
          }
          const size_t piece = std::min<size_t>(64 * 1024, shared->size() - offset);
          return sink.write(shared->data() + offset, piece);
        });
    return;
  }
  const size_t length = shared->size();
  // Where the body is cut: half of what this answer sends, which for a range is half of the
  // range. The library asks first for the answer's first byte and all that follows it.
  auto cut = std::make_shared<std::optional<size_t>>();
  response.set_content_provider(
      length, contentType.c_str(),
      [shared, fault, request, cut](size_t offset, size_t rest, httplib::DataSink& sink) {
        const std::string& bytes = *shared;
        if (fault == Fault::kSlow || fault == Fault::kTrickle) {
          const bool slow = fault == Fault::kSlow;
          const size_t piece = std::min<size_t>(slow ? 1024 : 1, rest);
          std::this_thread::sleep_for(std::chrono::milliseconds(slow ? 50 : 100));
          return !g_stopping && sink.write(bytes.data() + offset, piece);
        }
        if (!*cut) {
          *cut = offset + rest / 2;
        }
        if (offset < **cut) {
          return sink.write(bytes.data() + offset, **cut - offset);
        }
        if (fault == Fault::kStall) {
          while (!g_stopping && sink.is_writable()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
          }
          return false;
        }
        if (fault == Fault::kReset) {
          ResetConnection(request);
        }
        return false;  // the connection closes with the body cut off
      });
}

void AnswerFile(const httplib::Request& request, httplib::Response& response,
                const Fixture& fixture, const std::string& label, const std::string& file,
                const std::string& contentType) {
  std::optional<std::string> body = fixture.Read(label, file);
  if (!body) {
    response.status = 404;
    return;
  }
  Answer(request, response, std::move(*body), contentType, fixture.FaultOf(label, file));
}
