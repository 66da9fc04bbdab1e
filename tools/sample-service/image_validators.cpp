#include "image_validators.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>

namespace {

// 64-bit FNV-1a: the same on every run and build, unlike std::hash.
uint64_t HashOf(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) {
    hash = (hash ^ c) * 1099511628211ull;
  }
  return hash;
}

constexpr int64_t kFirstDate = 1420070400;  // 2015-01-01 00:00:00 UTC
constexpr int64_t kLastDate = 1735689600;   // 2025-01-01 00:00:00 UTC, not included

}  // namespace

ImageValidators ValidatorsOf(const std::string& address, size_t size, uint64_t version) {
  // Adding the version keeps the validators of different versions apart.
  const uint64_t hash = HashOf(address) + version;
  char etag[64];
  std::snprintf(etag, sizeof(etag), "\"%016" PRIx64 "-%zu\"", hash, size);
  const auto span = static_cast<uint64_t>(kLastDate - kFirstDate);
  return {etag, HttpDate(kFirstDate + static_cast<int64_t>(hash % span))};
}

uint64_t NextVersionOf(const std::string& address) {
  static std::mutex mutex;
  static std::map<std::string, uint64_t> answers;
  std::lock_guard<std::mutex> lock(mutex);
  return ++answers[address];
}

std::string HttpDate(int64_t seconds) {
  // Named here rather than by strftime, whose names follow the locale.
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const auto time = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&time, &utc);
  char text[64];
  std::snprintf(text, sizeof(text), "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc.tm_wday],
                utc.tm_mday, kMonths[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                utc.tm_sec);
  return text;
}
