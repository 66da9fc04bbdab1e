#include "ranges.h"

#include <algorithm>
#include <optional>

namespace {

void SetRanges(const httplib::Request& request, httplib::Ranges ranges) {
  // The library cuts the answer to request.ranges after the route returns, so they are set here.
  const_cast<httplib::Request&>(request).ranges = std::move(ranges);
}

// The first and last byte of the single range a request asks for, within `size` bytes; nothing
// when it starts at or past the end (or asks for a suffix of no bytes).
std::optional<httplib::Range> WithinSize(const httplib::Range& asked, size_t size) {
  const auto length = static_cast<ssize_t>(size);
  if (asked.first < 0) {  // "bytes=-N": the last N bytes
    if (asked.second <= 0 || length == 0) {
      return std::nullopt;
    }
    return httplib::Range{std::max<ssize_t>(0, length - asked.second), length - 1};
  }
  if (asked.first >= length) {
    return std::nullopt;
  }
  const ssize_t last = asked.second < 0 ? length - 1 : std::min(asked.second, length - 1);
  return httplib::Range{asked.first, last};
}

}  // namespace

RangeAnswer SettleRange(const httplib::Request& request, size_t size,
                        const ImageValidators& validators) {
  if (request.ranges.size() != 1) {
    SendWhole(request);
    return RangeAnswer::kWhole;
  }
  if (request.has_header("If-Range")) {
    const std::string validator = request.get_header_value("If-Range");
    if (validator != validators.etag && validator != validators.lastModified) {
      SendWhole(request);
      return RangeAnswer::kWhole;
    }
  }
  const std::optional<httplib::Range> range = WithinSize(request.ranges.front(), size);
  SetRanges(request, range ? httplib::Ranges{*range} : httplib::Ranges{});
  return range ? RangeAnswer::kPart : RangeAnswer::kUnsatisfiable;
}

void SendWhole(const httplib::Request& request) {
  if (!request.ranges.empty()) {
    SetRanges(request, {});
  }
}
