#include "download/album_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

// The byte of the lock file that stands for the album: a 62-bit FNV-1a hash of the user number
// and the id, so that albums practically never share one.
off_t LockOffset(int32_t uin, const std::string& albumId) {
  uint64_t hash = 14695981039346656037ull;
  const auto mix = [&hash](unsigned char byte) {
    hash ^= byte;
    hash *= 1099511628211ull;
  };
  for (const char c : std::to_string(uin)) {
    mix(static_cast<unsigned char>(c));
  }
  mix(0);
  for (const char c : albumId) {
    mix(static_cast<unsigned char>(c));
  }
  return static_cast<off_t>(hash >> 2);
}

}  // namespace

std::unique_ptr<AlbumLock> AlbumLock::TryTake(const std::filesystem::path& root, int32_t uin,
                                              const std::string& albumId, Result* result) {
  const std::filesystem::path file = root / std::string(kLockFileName);
  const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) {
    *result = Result::kFailed;
    return nullptr;
  }
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = LockOffset(uin, albumId);
  lock.l_len = 1;
  if (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    const int error = errno;
    close(fd);
    *result = error == EAGAIN || error == EACCES ? Result::kInUse : Result::kFailed;
    return nullptr;
  }
  *result = Result::kTaken;
  return std::unique_ptr<AlbumLock>(new AlbumLock(fd));
}

AlbumLock::~AlbumLock() {
  close(m_fd);  // closing the last descriptor of the open file lets go of its lock
}
