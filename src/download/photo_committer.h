#pragma once

// Puts finished photos in place for good, beside the transfers, on a thread of its own.
//
// For each photo handed over (its body complete in a part file), in the order they come: the
// part gets the photo's own time (Last-Modified) and is flushed to the disk (a batch at once, with
// one flush of the file system, or file by file where that fails); if a file that the
// archive does not know already holds the very same bytes under one of the photo's names, that
// file is taken as the photo and the part goes; otherwise the part is renamed to the name fixed
// for the photo, never over a file that has that name by now (the next free number is taken
// then). Once a batch is in place, the folder is flushed and the batch recorded in the archive, in
// that order, so a record never names a file that a crash could cut short. Then `committed` is
// called for each photo, on this thread.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "download/download_archive.h"
#include "download/photo_files.h"
#include "platform/durable_file.h"

// Files in an album folder that one photo name can have taken: "<name>.jpg" and "<name>_<n>.jpg".
// Shared by every photo of that name.
using SameNameFiles = std::shared_ptr<const std::vector<std::wstring>>;

struct FinishedPhoto {
  std::string address;
  std::filesystem::path part;   // the complete body
  std::wstring path;            // the name fixed for it
  std::wstring baseName;        // its cleaned name, for a further number when `path` is taken
  SameNameFiles sameNameFiles;  // files of the archive's no photo under its names; may be null
  std::string etag;
  std::string lastModified;
  int64_t fileTime = -1;
};

class PhotoCommitter {
 public:
  // `claimed`: every name that the album's photos hold or are to take.
  PhotoCommitter(DownloadArchive* archive, int32_t uin, std::string albumId, std::wstring folder,
                 std::set<std::wstring> claimed,
                 std::function<void(const PhotoRecord& photo, bool saved)> committed);
  ~PhotoCommitter();  // finishes what it was given
  PhotoCommitter(const PhotoCommitter&) = delete;
  PhotoCommitter& operator=(const PhotoCommitter&) = delete;

  void Add(FinishedPhoto photo);
  // Waits until every photo handed over is in place and recorded, or has failed.
  void Drain();
  // Photos put in place, and photos that could not be (their part files are gone). Read after
  // Drain.
  int32_t Placed() const { return m_placed; }
  int32_t Failed() const { return m_failed; }
  // Photos put in place whose record could not be written (the next run finds them by bytes).
  int32_t Unrecorded() const { return m_unrecorded; }

 private:
  void Loop();
  // Gives the part the photo's time; its digest, or nothing when it cannot be read.
  std::optional<FileDigest> Prepare(const FinishedPhoto& photo);
  // Puts one flushed photo in place; its record, or nothing when it failed (its part file is left
  // to the caller). `adopted`: a file that was there already is the photo.
  std::optional<PhotoRecord> Place(const FinishedPhoto& photo, const FileDigest& digest,
                                   bool* adopted);
  // A file in `candidates` not taken yet in this run with these bytes; empty when none.
  std::wstring SameBytes(const SameNameFiles& candidates, const FileDigest& digest);

  DownloadArchive* m_archive;
  int32_t m_uin;
  std::string m_albumId;
  std::wstring m_folder;
  std::set<std::wstring> m_claimed;               // committer thread only
  std::set<std::wstring> m_adopted;               // committer thread only
  std::map<std::wstring, std::string> m_digests;  // of candidate files, committer thread only
  std::map<std::wstring, int64_t> m_sizes;        // of candidate files (-1: none), the same
  std::function<void(const PhotoRecord&, bool)> m_committed;

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<FinishedPhoto> m_queue;
  size_t m_busy = 0;  // photos taken off the queue and not finished yet
  bool m_closing = false;
  int32_t m_placed = 0;
  int32_t m_failed = 0;
  int32_t m_unrecorded = 0;
  std::thread m_thread;
};
