#pragma once

// The download archive: what the program saved under one download root, kept in one SQLite
// database at the root (kArchiveFileName), so that the photos and their record move together.
//
// It maps (user number, album id) to the album's folder, chosen once and kept, and (album, photo
// address) to the photo's file in that folder with its size, SHA-256, Last-Modified, ETag and the
// time it was saved; and it names the part files of broken large transfers that a later try
// resumes. A photo is recorded only once its file is complete and flushed, so a record never names
// a file that is not whole. The journal is WAL with synchronous=NORMAL (the rollback journal on a
// network file system, where WAL cannot work) and a busy timeout, so that two copies of the program
// can share one root. PRAGMA user_version holds the schema version; a database of a newer version
// is not opened. Every operation is serialised, so the worker and its committing thread may share
// one object.

#include <sqlite3.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

constexpr std::string_view kArchiveFileName = ".zupictrove-archive.sqlite3";
constexpr int kArchiveSchemaVersion = 1;

struct PhotoRecord {
  std::string address;   // the photo's address as listed
  std::string fileName;  // its file in the album folder (UTF-8, as the file system has it)
  uint64_t size = 0;
  std::string sha256;  // lowercase hex
  std::string lastModified;
  std::string etag;
  int64_t savedAt = 0;  // seconds since 1970
};

// A kept part file of a broken transfer of a large photo.
struct PartRecord {
  std::string address;
  std::wstring partName;  // in the album folder
  std::string validator;  // what the resumed request sends as If-Range
  uint64_t length = 0;    // the whole photo's length
};

class DownloadArchive {
 public:
  // Opens (or makes) the archive of `root` for recording; null, with `error` saying why, when it
  // cannot (also when it could only be read). A wait for another copy's transaction (at most
  // 8 s) ends at once when `running` drops.
  static std::unique_ptr<DownloadArchive> Open(const std::filesystem::path& root,
                                               std::string* error,
                                               const std::atomic<uint8_t>* running = nullptr);
  // Opens an existing archive to read it only: nothing is made or changed, so a read-only disk or
  // another user's archive can be checked.
  static std::unique_ptr<DownloadArchive> OpenForReading(const std::filesystem::path& root,
                                                         std::string* error);
  ~DownloadArchive();
  DownloadArchive(const DownloadArchive&) = delete;
  DownloadArchive& operator=(const DownloadArchive&) = delete;

  // Whether the journal is WAL (false: the rollback journal).
  bool UsesWal() const { return m_wal; }
  // Why the first operation that failed did (a damaged file, a full disk, another copy holding
  // the archive too long); empty while none has.
  std::string Error();

  // The album's recorded folder name (inside the user folder); empty when none is recorded.
  std::wstring AlbumFolder(int32_t uin, const std::string& albumId);
  // The album's folder: the recorded one, or else `wanted` (kept short enough for a file name),
  // then "<wanted>_1", "_2" ... while the name is another album's of this user in the archive or
  // names something on disk in `userFolder` that is not a plain folder. A folder on disk that the
  // archive gives no album is taken as it is (an earlier copy of the album). The choice is
  // recorded in the same transaction, so two copies of the program never choose one name for two
  // albums. Empty when it could not be recorded.
  std::wstring ChooseAlbumFolder(int32_t uin, const std::string& albumId, std::wstring_view wanted,
                                 const std::filesystem::path& userFolder);

  // The album's recorded photos by address.
  std::unordered_map<std::string, PhotoRecord> Photos(int32_t uin, const std::string& albumId);
  // Records the photos (replacing earlier records of their addresses) and forgets their part
  // files, in one transaction. False when that failed.
  bool RecordPhotos(int32_t uin, const std::string& albumId,
                    const std::vector<PhotoRecord>& photos);

  std::vector<PartRecord> Parts(int32_t uin, const std::string& albumId);
  bool RecordPart(int32_t uin, const std::string& albumId, const PartRecord& part);
  bool ForgetPart(int32_t uin, const std::string& albumId, const std::string& address);

  // Calls `visit` for every recorded photo, of `uin` only when given, with its album's folder
  // name; in user, album and file name order. False when the archive could not be read.
  bool ForEachPhoto(std::optional<int32_t> uin,
                    const std::function<void(int32_t uin, const std::wstring& albumFolder,
                                             const PhotoRecord& photo)>& visit);

 private:
  DownloadArchive(sqlite3* db, bool wal, const std::atomic<uint8_t>* running)
      : m_db(db), m_wal(wal), m_running(running) {}
  static int Busy(void* self, int tries);
  bool Execute(const char* sql);
  // `done`, remembering the connection's error when it is false.
  bool Check(bool done);
  bool FolderTakenByOther(int32_t uin, const std::string& albumId, const std::wstring& folder);

  sqlite3* m_db;
  bool m_wal;
  const std::atomic<uint8_t>* m_running;
  std::string m_error;  // the first failure's reason
  std::mutex m_mutex;
};
