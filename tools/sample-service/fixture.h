#pragma once

// A fixture folder: what each host of the sample service answers.
//
// A request is answered from <fixtures>/<host label>/<file>, where the host label is the first
// label of the Host header ("alist1" for alist1.photo.localhost:18421) and each route names the
// file. Beside an answer file, <file>.fault holds one word that makes the answer fail instead
// (see Fault).

#include <filesystem>
#include <optional>
#include <string>

enum class Fault {
  kNone,
  kStatus500,   // "status500": an error status with a short body
  kReset,       // "reset": half the body, then the connection is reset
  kTruncate,    // "truncate": half the body, then the connection is closed
  kStall,       // "stall": half the body, then nothing more until the client gives up
  kSlow,        // "slow": the whole body, 1 KiB every 50 ms
  kTrickle,     // "trickle": the whole body, one byte every 100 ms
  kUndeclared,  // "undeclared": the whole body, chunked, with no length declared
  kBusyOnce,    // "busy": the first request of an address gets 429 with Retry-After: 1
  kDropOnce,    // "drop": the first request of an address loses its connection before any byte
  kLate,        // "late": the first byte waits 3 s, then the whole body goes out as usual
  kBreakOnce,   // "breakonce": the first request of an address plays "reset"; later ones as usual
  kChanging,    // "changing": a photo whose ETag and Last-Modified differ in every answer
};

class Fixture {
 public:
  explicit Fixture(std::filesystem::path root) : m_root(std::move(root)) {}

  // The answer file's bytes, or nothing when there is no such file or the name would leave the
  // host's folder.
  std::optional<std::string> Read(const std::string& hostLabel, const std::string& file) const;
  Fault FaultOf(const std::string& hostLabel, const std::string& file) const;

 private:
  std::optional<std::filesystem::path> PathOf(const std::string& hostLabel,
                                              const std::string& file) const;
  std::filesystem::path m_root;
};

// The fault a word names; kNone for any other word.
Fault FaultNamed(const std::string& word);

// The first label of a Host header value.
std::string HostLabel(const std::string& host);

// The fixture file name of an album id: letters, digits, '_' and '-' as they are, every other
// byte as %XX, so that any id the service lists can have files of its own.
std::string FixtureNameOfId(const std::string& id);
