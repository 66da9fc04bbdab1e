#pragma once

// A fuzzer's check: a broken expectation ends the run as a crash, which libFuzzer keeps.

#include <cstdlib>

inline void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}
