#pragma once

// The validators of a photo answer: ETag and Last-Modified. A client that resumes a download
// sends one of them back in If-Range, and keeps Last-Modified as the photo's time.

#include <cstdint>
#include <string>

struct ImageValidators {
  std::string etag;          // "\"<16 hex digits>-<size>\"", a strong validator
  std::string lastModified;  // an HTTP date in the years 2015 to 2024
};

// The validators of the photo of `size` bytes at `address` (its path and query), made from a
// hash of the address: the same for every answer of the address, and different for different
// addresses. Each `version` gives other validators (for a photo that changes between answers).
ImageValidators ValidatorsOf(const std::string& address, size_t size, uint64_t version = 0);

// 1, 2, 3, ... for the successive answers of `address`.
uint64_t NextVersionOf(const std::string& address);

// `seconds` since 1970 as an HTTP date: "Tue, 15 Nov 1994 08:12:31 GMT".
std::string HttpDate(int64_t seconds);
