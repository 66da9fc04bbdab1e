#include "download/photo_committer.h"

#include <sys/stat.h>

#include <ctime>
#include <system_error>

#include "platform/code_page.h"
#include "platform/durable_file.h"
#include "platform/file_path.h"

PhotoCommitter::PhotoCommitter(DownloadArchive* archive, int32_t uin, std::string albumId,
                               std::wstring folder, std::set<std::wstring> claimed,
                               std::function<void(const PhotoRecord&, bool)> committed)
    : m_archive(archive),
      m_uin(uin),
      m_albumId(std::move(albumId)),
      m_folder(std::move(folder)),
      m_claimed(std::move(claimed)),
      m_committed(std::move(committed)),
      m_thread([this] { Loop(); }) {}

PhotoCommitter::~PhotoCommitter() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closing = true;
  }
  m_changed.notify_all();
  m_thread.join();
}

void PhotoCommitter::Add(FinishedPhoto photo) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.push_back(std::move(photo));
  }
  m_changed.notify_all();
}

void PhotoCommitter::Drain() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_queue.empty() && m_busy == 0; });
}

void PhotoCommitter::Loop() {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (true) {
    m_changed.wait(lock, [this] { return m_closing || !m_queue.empty(); });
    if (m_queue.empty()) {
      return;  // closing, and nothing is left
    }
    // Everything that has come so far is one batch: one folder flush and one transaction.
    std::deque<FinishedPhoto> batch;
    batch.swap(m_queue);
    m_busy = batch.size();
    lock.unlock();
    // The batch's bytes reach the disk in one flush before any of them takes its name.
    std::vector<std::optional<FileDigest>> digests;
    digests.reserve(batch.size());
    for (const FinishedPhoto& photo : batch) {
      digests.push_back(Prepare(photo));
    }
    if (!FlushFileSystemOf(FsPath(m_folder))) {
      for (size_t i = 0; i < batch.size(); ++i) {
        if (digests[i] && !FlushFile(batch[i].part)) {
          digests[i].reset();
        }
      }
    }
    std::vector<PhotoRecord> records;
    std::vector<bool> saved;
    int32_t failed = 0;
    int32_t unrecorded = 0;
    for (size_t i = 0; i < batch.size(); ++i) {
      bool adopted = false;
      std::optional<PhotoRecord> record =
          digests[i] ? Place(batch[i], *digests[i], &adopted) : std::nullopt;
      if (!record) {
        std::error_code ec;
        std::filesystem::remove(batch[i].part, ec);  // our own part file
        ++failed;
        continue;
      }
      saved.push_back(!adopted);
      records.push_back(std::move(*record));
    }
    if (!records.empty()) {
      FlushFolder(FsPath(m_folder));
      // A batch that cannot be recorded still lies complete on disk, where the next run finds it
      // again by its bytes.
      if (!m_archive->RecordPhotos(m_uin, m_albumId, records)) {
        unrecorded += static_cast<int32_t>(records.size());
      }
    }
    for (size_t i = 0; i < records.size(); ++i) {
      m_committed(records[i], saved[i]);
    }
    lock.lock();
    m_placed += static_cast<int32_t>(records.size());
    m_failed += failed;
    m_unrecorded += unrecorded;
    m_busy = 0;
    m_changed.notify_all();
  }
}

std::wstring PhotoCommitter::SameBytes(const SameNameFiles& candidates, const FileDigest& digest) {
  if (!candidates) {
    return {};
  }
  for (const std::wstring& candidate : *candidates) {
    if (m_adopted.count(candidate) != 0) {
      continue;
    }
    // Each candidate's size is looked up once, and its bytes read only when the size matches:
    // many photos of one name cost a comparison of numbers each.
    auto size = m_sizes.find(candidate);
    if (size == m_sizes.end()) {
      struct stat info;
      const bool regular = lstat(FsPath(candidate).c_str(), &info) == 0 && S_ISREG(info.st_mode);
      size = m_sizes.emplace(candidate, regular ? static_cast<int64_t>(info.st_size) : -1).first;
    }
    if (size->second < 0 || static_cast<uint64_t>(size->second) != digest.size) {
      continue;
    }
    auto known = m_digests.find(candidate);
    if (known == m_digests.end()) {
      const std::optional<FileDigest> theirs = DigestOfFile(FsPath(candidate));
      known = m_digests.emplace(candidate, theirs ? theirs->sha256 : std::string()).first;
    }
    if (known->second == digest.sha256) {
      return candidate;
    }
  }
  return {};
}

std::optional<FileDigest> PhotoCommitter::Prepare(const FinishedPhoto& photo) {
  if (photo.fileTime >= 0) {
    SetModificationTime(photo.part, photo.fileTime);
  }
  return DigestOfFile(photo.part);
}

std::optional<PhotoRecord> PhotoCommitter::Place(const FinishedPhoto& photo,
                                                 const FileDigest& digest, bool* adopted) {
  PhotoRecord record;
  record.address = photo.address;
  record.size = digest.size;
  record.sha256 = digest.sha256;
  record.etag = photo.etag;
  record.lastModified = photo.lastModified;
  record.savedAt = static_cast<int64_t>(std::time(nullptr));
  const auto nameIn = [this](const std::wstring& path) {
    return WideToUtf8(path.substr(m_folder.size() + 1));
  };
  const std::wstring same = SameBytes(photo.sameNameFiles, digest);
  if (!same.empty()) {
    // That file is this photo already: it is kept as it is, and recorded.
    std::error_code ec;
    std::filesystem::remove(photo.part, ec);
    m_adopted.insert(same);
    *adopted = true;
    record.fileName = nameIn(same);
    return record;
  }
  std::wstring path = photo.path;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    switch (RenameNoReplace(photo.part, FsPath(path))) {
      case RenameResult::kDone:
        m_claimed.insert(path);
        record.fileName = nameIn(path);
        return record;
      case RenameResult::kTaken:
        // Something took the name since it was fixed: the next free one.
        m_claimed.insert(path);
        path = MakePhotoPath(m_folder, photo.baseName, nullptr, &m_claimed);
        continue;
      case RenameResult::kFailed:
        break;
    }
    break;
  }
  return std::nullopt;
}
