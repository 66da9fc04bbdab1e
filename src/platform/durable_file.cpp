#include "platform/durable_file.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

bool FlushPath(const std::filesystem::path& path, int flags) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  const bool flushed = fsync(fd) == 0;
  return close(fd) == 0 && flushed;
}

struct ChecksumDeleter {
  void operator()(GChecksum* checksum) const { g_checksum_free(checksum); }
};

}  // namespace

bool FlushFile(const std::filesystem::path& file) {
  return FlushPath(file, O_RDONLY);
}

bool FlushFolder(const std::filesystem::path& folder) {
  return FlushPath(folder, O_RDONLY | O_DIRECTORY);
}

bool FlushFileSystemOf(const std::filesystem::path& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  const bool flushed = syncfs(fd) == 0;
  return close(fd) == 0 && flushed;
}

RenameResult RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return RenameResult::kDone;
  }
  if (errno == EEXIST) {
    return RenameResult::kTaken;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
    return RenameResult::kFailed;
  }
  // No RENAME_NOREPLACE here: a hard link is made only under a free name, too.
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return RenameResult::kDone;
  }
  if (errno == EEXIST) {
    return RenameResult::kTaken;
  }
  // Neither (a FAT disk, say): the name is checked just before the rename.
  struct stat info;
  if (lstat(to.c_str(), &info) == 0) {
    return RenameResult::kTaken;
  }
  return rename(from.c_str(), to.c_str()) == 0 ? RenameResult::kDone : RenameResult::kFailed;
}

bool SetModificationTime(const std::filesystem::path& file, int64_t seconds) {
  const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
  return utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

std::optional<FileDigest> DigestOfFile(const std::filesystem::path& file) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    return std::nullopt;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return std::nullopt;
  }
  std::unique_ptr<GChecksum, ChecksumDeleter> checksum(g_checksum_new(G_CHECKSUM_SHA256));
  std::vector<unsigned char> buffer(256 * 1024);
  FileDigest digest;
  while (true) {
    const ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      close(fd);
      return std::nullopt;
    }
    if (got == 0) {
      break;
    }
    g_checksum_update(checksum.get(), buffer.data(), got);
    digest.size += static_cast<uint64_t>(got);
  }
  close(fd);
  digest.sha256 = g_checksum_get_string(checksum.get());
  return digest;
}
