#include "download/download_archive.h"

#include <sys/stat.h>
#include <sys/vfs.h>

#include <chrono>
#include <thread>
#include <utility>

#include "download/photo_files.h"
#include "platform/code_page.h"

namespace {

constexpr int kBusyTimeoutMs = 8000;
// How often a statement waiting for another copy's transaction tries again (and sees a stop).
constexpr int kBusyPollMs = 10;

// File systems on which SQLite's WAL cannot work (its shared memory is not shared between
// machines), and those where we cannot tell: they get the rollback journal.
bool IsNetworkFileSystem(const std::filesystem::path& folder) {
  struct statfs info;
  if (statfs(folder.c_str(), &info) != 0) {
    return false;
  }
  switch (static_cast<unsigned long>(info.f_type)) {
    case 0x6969UL:      // NFS
    case 0x517BUL:      // SMB
    case 0xFF534D42UL:  // CIFS
    case 0xFE534D42UL:  // SMB2
    case 0x73757245UL:  // Coda
    case 0x5346414FUL:  // AFS
    case 0x01021997UL:  // 9p
    case 0x65735546UL:  // FUSE (sshfs and other remote ones among them)
    case 0x00C36400UL:  // Ceph
      return true;
    default:
      return false;
  }
}

// "file:<path>?immutable=1", the path percent-encoded where a URI needs it.
std::string ImmutableUri(const std::filesystem::path& file) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (const unsigned char c : file.string()) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '/' || c == '.' || c == '_' || c == '-';
    if (plain) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kDigits[c >> 4];
      uri += kDigits[c & 0x0F];
    }
  }
  return uri + "?immutable=1";
}

// One prepared statement, finalised when it goes.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
  ~Statement() { sqlite3_finalize(m_stmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Ok() const { return m_stmt != nullptr; }
  Statement& Bind(int index, int64_t value) {
    sqlite3_bind_int64(m_stmt, index, value);
    return *this;
  }
  Statement& Bind(int index, std::string_view bytes) {
    sqlite3_bind_blob64(m_stmt, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindText(int index, std::string_view text) {
    sqlite3_bind_text64(m_stmt, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return m_stmt != nullptr ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
  bool Run() { return Step() == SQLITE_DONE; }
  void Reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
  }
  int64_t Int(int column) const { return sqlite3_column_int64(m_stmt, column); }
  std::string Bytes(int column) const {
    const void* data = sqlite3_column_blob(m_stmt, column);
    const int size = sqlite3_column_bytes(m_stmt, column);
    return data == nullptr ? std::string() : std::string(static_cast<const char*>(data), size);
  }
  std::wstring Text(int column) const { return Utf8ToWide(Bytes(column)); }

 private:
  sqlite3_stmt* m_stmt = nullptr;
};

// The photo whose address, file name, size, SHA-256, Last-Modified, ETag and time saved are the
// query's columns from `first` on.
PhotoRecord PhotoAt(const Statement& query, int first) {
  PhotoRecord photo;
  photo.address = query.Bytes(first);
  photo.fileName = query.Bytes(first + 1);
  photo.size = static_cast<uint64_t>(query.Int(first + 2));
  photo.sha256 = query.Bytes(first + 3);
  photo.lastModified = query.Bytes(first + 4);
  photo.etag = query.Bytes(first + 5);
  photo.savedAt = query.Int(first + 6);
  return photo;
}

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS albums(
  uin INTEGER NOT NULL,
  album_id BLOB NOT NULL,
  folder TEXT NOT NULL COLLATE NOCASE,
  PRIMARY KEY(uin, album_id),
  UNIQUE(uin, folder));
CREATE TABLE IF NOT EXISTS photos(
  uin INTEGER NOT NULL,
  album_id BLOB NOT NULL,
  address BLOB NOT NULL,
  file_name TEXT NOT NULL,
  size INTEGER NOT NULL,
  sha256 TEXT NOT NULL,
  last_modified TEXT NOT NULL,
  etag TEXT NOT NULL,
  saved_at INTEGER NOT NULL,
  PRIMARY KEY(uin, album_id, address));
CREATE TABLE IF NOT EXISTS parts(
  uin INTEGER NOT NULL,
  album_id BLOB NOT NULL,
  address BLOB NOT NULL,
  part_name TEXT NOT NULL,
  validator TEXT NOT NULL,
  length INTEGER NOT NULL,
  PRIMARY KEY(uin, album_id, address));
)sql";

// A transaction that rolls back unless committed.
class Transaction {
 public:
  explicit Transaction(sqlite3* db) : m_db(db) {
    m_open = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  ~Transaction() {
    if (m_open) {
      sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
  }
  bool Open() const { return m_open; }
  bool Commit() {
    m_open = false;
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
      return true;
    }
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }

 private:
  sqlite3* m_db;
  bool m_open = false;
};

}  // namespace

std::unique_ptr<DownloadArchive> DownloadArchive::OpenForReading(const std::filesystem::path& root,
                                                                 std::string* error) {
  const std::filesystem::path file = root / std::string(kArchiveFileName);
  // First as any reader; where the WAL journal's shared memory cannot be made (a read-only disk,
  // another user's folder), as a file nobody changes meanwhile.
  for (const bool immutable : {false, true}) {
    sqlite3* db = nullptr;
    const std::string name = immutable ? ImmutableUri(file) : file.string();
    const int flags =
        SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX | (immutable ? SQLITE_OPEN_URI : 0);
    if (sqlite3_open_v2(name.c_str(), &db, flags, nullptr) != SQLITE_OK) {
      *error = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
      sqlite3_close(db);
      continue;
    }
    std::unique_ptr<DownloadArchive> archive(new DownloadArchive(db, false, nullptr));
    sqlite3_busy_handler(db, Busy, archive.get());
    Statement read(db, "PRAGMA user_version");
    if (read.Step() != SQLITE_ROW) {
      *error = sqlite3_errmsg(db);
      continue;
    }
    if (read.Int(0) != kArchiveSchemaVersion) {
      *error = read.Int(0) > kArchiveSchemaVersion
                   ? "the archive was written by a newer version of the program"
                   : "the file is not a download archive";
      return nullptr;
    }
    return archive;
  }
  return nullptr;
}

std::unique_ptr<DownloadArchive> DownloadArchive::Open(const std::filesystem::path& root,
                                                       std::string* error,
                                                       const std::atomic<uint8_t>* running) {
  const std::filesystem::path file = root / std::string(kArchiveFileName);
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(file.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    *error = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<DownloadArchive> archive(new DownloadArchive(db, false, running));
  sqlite3_busy_handler(db, Busy, archive.get());
  if (sqlite3_db_readonly(db, "main") == 1) {
    *error = "the archive cannot be written";  // opened read-only: nothing could be recorded
    return nullptr;
  }
  // The journal first: it cannot change inside a transaction.
  const char* journal =
      IsNetworkFileSystem(root) ? "PRAGMA journal_mode=DELETE" : "PRAGMA journal_mode=WAL";
  {
    Statement mode(db, journal);
    if (mode.Step() != SQLITE_ROW) {
      *error = sqlite3_errmsg(db);
      return nullptr;
    }
    archive->m_wal = mode.Bytes(0) == "wal";
  }
  if (!archive->Execute("PRAGMA synchronous=NORMAL")) {
    *error = sqlite3_errmsg(db);
    return nullptr;
  }
  Transaction setUp(db);
  if (!setUp.Open()) {
    *error = sqlite3_errmsg(db);
    return nullptr;
  }
  int64_t version = 0;
  {
    Statement read(db, "PRAGMA user_version");
    if (read.Step() != SQLITE_ROW) {
      *error = sqlite3_errmsg(db);
      return nullptr;
    }
    version = read.Int(0);
  }
  if (version > kArchiveSchemaVersion) {
    *error = "the archive was written by a newer version of the program";
    return nullptr;
  }
  if (version < kArchiveSchemaVersion) {
    if (!archive->Execute(kSchema) ||
        !archive->Execute(
            ("PRAGMA user_version=" + std::to_string(kArchiveSchemaVersion)).c_str())) {
      *error = sqlite3_errmsg(db);
      return nullptr;
    }
  }
  if (!setUp.Commit()) {
    *error = sqlite3_errmsg(db);
    return nullptr;
  }
  return archive;
}

DownloadArchive::~DownloadArchive() {
  sqlite3_close(m_db);
}

bool DownloadArchive::Check(bool done) {
  if (!done && m_error.empty()) {
    m_error = sqlite3_errmsg(m_db);
  }
  return done;
}

std::string DownloadArchive::Error() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_error;
}

int DownloadArchive::Busy(void* self, int tries) {
  const auto* archive = static_cast<const DownloadArchive*>(self);
  if ((archive->m_running != nullptr && *archive->m_running == 0) ||
      tries * kBusyPollMs >= kBusyTimeoutMs) {
    return 0;  // stopped, or waited long enough: the statement fails as busy
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(kBusyPollMs));
  return 1;
}

bool DownloadArchive::Execute(const char* sql) {
  return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::wstring DownloadArchive::AlbumFolder(int32_t uin, const std::string& albumId) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Statement query(m_db, "SELECT folder FROM albums WHERE uin=?1 AND album_id=?2");
  query.Bind(1, uin).Bind(2, albumId);
  return query.Step() == SQLITE_ROW ? query.Text(0) : std::wstring();
}

bool DownloadArchive::FolderTakenByOther(int32_t uin, const std::string& albumId,
                                         const std::wstring& folder) {
  Statement query(m_db, "SELECT 1 FROM albums WHERE uin=?1 AND folder=?2 AND album_id<>?3");
  query.Bind(1, uin).BindText(2, WideToUtf8(folder)).Bind(3, albumId);
  return query.Step() == SQLITE_ROW;
}

std::wstring DownloadArchive::ChooseAlbumFolder(int32_t uin, const std::string& albumId,
                                                std::wstring_view wanted,
                                                const std::filesystem::path& userFolder) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Transaction choice(m_db);
  if (!Check(choice.Open())) {
    return {};
  }
  {
    Statement query(m_db, "SELECT folder FROM albums WHERE uin=?1 AND album_id=?2");
    query.Bind(1, uin).Bind(2, albumId);
    if (query.Step() == SQLITE_ROW) {
      return query.Text(0);
    }
  }
  const auto onDiskButNoFolder = [&userFolder](const std::wstring& name) {
    struct stat info;
    const std::filesystem::path path = userFolder / WideToUtf8(name);
    return lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
  };
  std::wstring folder;
  for (int number = 0;; ++number) {
    folder = NumberedFolderName(wanted, number);
    if (!FolderTakenByOther(uin, albumId, folder) && !onDiskButNoFolder(folder)) {
      break;
    }
  }
  Statement insert(m_db, "INSERT INTO albums(uin, album_id, folder) VALUES(?1, ?2, ?3)");
  insert.Bind(1, uin).Bind(2, albumId).BindText(3, WideToUtf8(folder));
  if (!Check(insert.Run() && choice.Commit())) {
    return {};
  }
  return folder;
}

std::unordered_map<std::string, PhotoRecord> DownloadArchive::Photos(int32_t uin,
                                                                     const std::string& albumId) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::unordered_map<std::string, PhotoRecord> photos;
  Statement query(m_db,
                  "SELECT address, file_name, size, sha256, last_modified, etag, saved_at "
                  "FROM photos WHERE uin=?1 AND album_id=?2");
  query.Bind(1, uin).Bind(2, albumId);
  int step;
  while ((step = query.Step()) == SQLITE_ROW) {
    PhotoRecord photo = PhotoAt(query, 0);
    std::string key = photo.address;
    photos.emplace(std::move(key), std::move(photo));
  }
  Check(step == SQLITE_DONE);
  return photos;
}

bool DownloadArchive::RecordPhotos(int32_t uin, const std::string& albumId,
                                   const std::vector<PhotoRecord>& photos) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Transaction batch(m_db);
  if (!Check(batch.Open())) {
    return false;
  }
  Statement insert(m_db,
                   "INSERT OR REPLACE INTO photos(uin, album_id, address, file_name, size, "
                   "sha256, last_modified, etag, saved_at) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, "
                   "?8, ?9)");
  Statement forget(m_db, "DELETE FROM parts WHERE uin=?1 AND album_id=?2 AND address=?3");
  for (const PhotoRecord& photo : photos) {
    insert.Bind(1, uin).Bind(2, albumId).Bind(3, photo.address);
    insert.BindText(4, photo.fileName).Bind(5, static_cast<int64_t>(photo.size));
    insert.BindText(6, photo.sha256).BindText(7, photo.lastModified).BindText(8, photo.etag);
    insert.Bind(9, photo.savedAt);
    forget.Bind(1, uin).Bind(2, albumId).Bind(3, photo.address);
    if (!Check(insert.Run() && forget.Run())) {
      return false;
    }
    insert.Reset();
    forget.Reset();
  }
  return Check(batch.Commit());
}

std::vector<PartRecord> DownloadArchive::Parts(int32_t uin, const std::string& albumId) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<PartRecord> parts;
  Statement query(m_db,
                  "SELECT address, part_name, validator, length FROM parts "
                  "WHERE uin=?1 AND album_id=?2");
  query.Bind(1, uin).Bind(2, albumId);
  int step;
  while ((step = query.Step()) == SQLITE_ROW) {
    parts.push_back(
        {query.Bytes(0), query.Text(1), query.Bytes(2), static_cast<uint64_t>(query.Int(3))});
  }
  return parts;
}

bool DownloadArchive::RecordPart(int32_t uin, const std::string& albumId, const PartRecord& part) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Statement insert(m_db,
                   "INSERT OR REPLACE INTO parts(uin, album_id, address, part_name, validator, "
                   "length) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
  insert.Bind(1, uin).Bind(2, albumId).Bind(3, part.address);
  insert.BindText(4, WideToUtf8(part.partName)).BindText(5, part.validator);
  insert.Bind(6, static_cast<int64_t>(part.length));
  return Check(insert.Run());
}

bool DownloadArchive::ForgetPart(int32_t uin, const std::string& albumId,
                                 const std::string& address) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Statement forget(m_db, "DELETE FROM parts WHERE uin=?1 AND album_id=?2 AND address=?3");
  forget.Bind(1, uin).Bind(2, albumId).Bind(3, address);
  return Check(forget.Run());
}

bool DownloadArchive::ForEachPhoto(
    std::optional<int32_t> uin,
    const std::function<void(int32_t uin, const std::wstring& albumFolder,
                             const PhotoRecord& photo)>& visit) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Statement query(m_db,
                  "SELECT p.uin, a.folder, p.address, p.file_name, p.size, p.sha256, "
                  "p.last_modified, p.etag, p.saved_at FROM photos p JOIN albums a "
                  "ON a.uin=p.uin AND a.album_id=p.album_id WHERE ?1 IS NULL OR p.uin=?1 "
                  "ORDER BY p.uin, a.folder, p.file_name");
  if (!query.Ok()) {
    return false;
  }
  if (uin) {
    query.Bind(1, *uin);
  }
  int step;
  while ((step = query.Step()) == SQLITE_ROW) {
    visit(static_cast<int32_t>(query.Int(0)), query.Text(1), PhotoAt(query, 2));
  }
  return step == SQLITE_DONE;
}
