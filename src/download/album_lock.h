#pragma once

// An album being downloaded is locked against every other download of it, in this process or in
// another copy of the program: an advisory record lock (an open-file-description lock, so two
// holders in one process exclude each other too) on one byte of the lock file at the download
// root, the byte chosen by the album. The lock goes when the object goes, or with its process.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

constexpr std::string_view kLockFileName = ".zupictrove-archive.lock";

class AlbumLock {
 public:
  enum class Result { kTaken, kInUse, kFailed };

  // Takes the lock of album `albumId` of user `uin` under `root` without waiting.
  static std::unique_ptr<AlbumLock> TryTake(const std::filesystem::path& root, int32_t uin,
                                            const std::string& albumId, Result* result);
  ~AlbumLock();
  AlbumLock(const AlbumLock&) = delete;
  AlbumLock& operator=(const AlbumLock&) = delete;

 private:
  explicit AlbumLock(int fd) : m_fd(fd) {}
  int m_fd;
};
