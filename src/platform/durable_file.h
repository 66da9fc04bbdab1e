#pragma once

// File operations that a photo's safe arrival needs: its bytes flushed to the disk before it
// takes its name, a name taken only when it is free, the folder flushed after, and the file's
// digest for the record.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

// Flushes the file's data and metadata to the disk (fsync). False on failure.
bool FlushFile(const std::filesystem::path& file);
// Flushes the folder, so that the names made in it survive a power loss.
bool FlushFolder(const std::filesystem::path& folder);
// Flushes everything written to the file system that holds `path` (syncfs): one flush for many
// files, far cheaper than flushing each. False on failure.
bool FlushFileSystemOf(const std::filesystem::path& path);

enum class RenameResult { kDone, kTaken, kFailed };
// Renames `from` to `to` only when nothing has the name `to`: never over another file, even one
// that appears meanwhile (RENAME_NOREPLACE, or a hard link where the file system lacks it).
RenameResult RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

// Gives the file the modification time `seconds` (since 1970). False on failure.
bool SetModificationTime(const std::filesystem::path& file, int64_t seconds);

// The SHA-256 of the file's bytes in lowercase hex, and its length; nothing when it cannot be
// read, or it is not a regular file.
struct FileDigest {
  std::string sha256;
  uint64_t size = 0;
};
std::optional<FileDigest> DigestOfFile(const std::filesystem::path& file);
