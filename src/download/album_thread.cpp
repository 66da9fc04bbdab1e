#include "download/album_thread.h"

#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "catalogue/web_cache.h"
#include "download/album_lock.h"
#include "download/album_plan.h"
#include "download/download_archive.h"
#include "download/download_settings.h"
#include "download/photo_committer.h"
#include "download/photo_files.h"
#include "platform/app_paths.h"
#include "platform/code_page.h"
#include "platform/durable_file.h"
#include "platform/file_path.h"
#include "platform/file_read.h"
#include "platform/posted_messages.h"
#include "platform/url_download.h"
#include "platform/xml_file.h"

CAlbumThread::~CAlbumThread() {
  // The thread reads this object's fields: it ends before they go.
  m_running = 0;
  Join();
}

bool CAlbumThread::StartAlbum(const AlbumJob& job) {
  m_waitingJob.reset();
  if (IsBusy() && (Wait(), IsBusy())) {
    m_waitingJob = job;
    return false;
  }
  Launch(job);
  return true;
}

void CAlbumThread::ResumeWaitingJob() {
  if (!m_waitingJob) {
    return;
  }
  Wait();
  if (IsBusy()) {
    return;
  }
  const AlbumJob job = *m_waitingJob;
  m_waitingJob.reset();
  Launch(job);
}

void CAlbumThread::Stop() {
  m_waitingJob.reset();
  m_running = 0;
}

void CAlbumThread::Launch(const AlbumJob& job) {
  Join();  // the previous thread has ended: this lets go of it
  m_job = job;
  m_settings = DownloadSettings::Shared();
  m_counts = AlbumCounts{};
  m_savedBytes = 0;
  // Set here, before the thread exists, so that a stop right after the start is never lost.
  m_running = 1;
  Start();
}

void CAlbumThread::Run() {
  if (m_job.fromWebCache == 0) {
    DownloadListedAlbum();
  } else {
    DownloadCachedAlbum();
  }
}

void CAlbumThread::PostAlbumDone(AlbumOutcome outcome, int32_t failed) {
  PostMessage(m_notifyWnd, WM_ALBUM_DONE, RunParam(m_job.runId, m_job.row),
              OutcomeParam(outcome, failed));
}

void CAlbumThread::PostPresent(int32_t present) {
  PostMessage(m_notifyWnd, WM_PHOTO_SAVED, RunParam(m_job.runId, m_job.row), present);
}

std::wstring CAlbumThread::DownloadRoot() const {
  if (!m_job.downloadRoot.empty()) {
    return m_job.downloadRoot;
  }
  return m_settings ? m_settings->GetDownloadRoot() : std::wstring();
}

bool CAlbumThread::DownloadPhotoList() {
  // As every list download: from the server, not the web cache's copy, into a new file.
  EvictCachedUrl(m_job.photoListUrl);
  EnsureWorkFolder(FsPathFromAnsi(m_job.listFile).parent_path());
  return DownloadUrlToFile(m_job.photoListUrl, AnsiToWide(m_job.listFile),
                           DocumentTransfer(kMaxPhotoListBytes), &m_running) == S_OK;
}

void CAlbumThread::DownloadListedAlbum() {
  if (!m_job.photoListUrl.empty() && !DownloadPhotoList()) {
    PostAlbumDone(m_running == 0 ? AlbumOutcome::kStopped : AlbumOutcome::kListFailed);
    return;
  }
  const std::string& listFile = m_job.listFile;
  TiXmlDocument doc;
  const bool loaded = LoadPhotoListDocument(listFile, doc);
  std::error_code ec;
  std::filesystem::remove(FsPathFromAnsi(listFile), ec);  // our own downloaded list
  if (!loaded) {
    PostAlbumDone(AlbumOutcome::kListFailed);
    return;
  }
  std::vector<PhotoEntry> entries;
  ReadPhotoListDocument(doc, m_running,
                        [&entries](const PhotoEntry& entry) { entries.push_back(entry); });
  DownloadEntries(entries);
}

void CAlbumThread::DownloadCachedAlbum() {
  const std::string& listFile = m_job.listFile;
  const std::optional<std::string> text =
      listFile.empty() ? std::nullopt : ReadTextFile(AnsiToWide(listFile), kMaxAlbumPageBytes);
  if (!text) {
    PostAlbumDone(AlbumOutcome::kPageNotFound);
    return;
  }
  std::vector<PhotoEntry> entries;
  ScanCachedAlbumPage(*text, m_running,
                      [&entries](const PhotoEntry& entry) { entries.push_back(entry); });
  DownloadEntries(entries);
}

void CAlbumThread::DownloadEntries(const std::vector<PhotoEntry>& entries) {
  m_counts.listed = static_cast<int32_t>(entries.size());
  if (m_running == 0) {
    PostAlbumDone(AlbumOutcome::kStopped);  // stopped before it began: no folder is touched
    return;
  }
  if (entries.empty() && m_job.listedPhotoCount > 0) {
    // The album list counts photos that the photo list does not give: not a finished album.
    PostAlbumDone(AlbumOutcome::kListFailed);
    return;
  }
  const std::wstring root = DownloadRoot();
  AlbumLock::Result locked = AlbumLock::Result::kFailed;
  const std::unique_ptr<AlbumLock> lock =
      AlbumLock::TryTake(FsPath(root), m_job.uin, m_job.albumId, &locked);
  if (!lock) {
    PostAlbumDone(locked == AlbumLock::Result::kInUse ? AlbumOutcome::kInUse
                                                      : AlbumOutcome::kArchiveFailed);
    return;
  }
  std::string error;
  const std::unique_ptr<DownloadArchive> archive =
      DownloadArchive::Open(FsPath(root), &error, &m_running);
  if (!archive) {
    m_counts.archiveError = error;
    PostAlbumDone(m_running == 0 ? AlbumOutcome::kStopped : AlbumOutcome::kArchiveFailed);
    return;
  }
  const std::wstring userFolder = UserFolder(root, m_job.uin);
  std::error_code ec;
  std::filesystem::create_directory(FsPath(userFolder), ec);
  const std::wstring folderName = archive->ChooseAlbumFolder(
      m_job.uin, m_job.albumId, CleanedAlbumName(m_job.albumName), FsPath(userFolder));
  if (!IsPlainFileName(folderName)) {
    // Not recorded, or not a folder of the user's.
    m_counts.archiveError = folderName.empty() ? archive->Error() : "a damaged album record";
    PostAlbumDone(m_running == 0 ? AlbumOutcome::kStopped : AlbumOutcome::kArchiveFailed);
    return;
  }
  const std::wstring folder = MakeAlbumFolder(root, m_job.uin, folderName);
  // The folders' own names reach the disk before any photo in them is recorded.
  FlushFolder(FsPath(userFolder));
  FlushFolder(FsPath(root));
  const auto records = archive->Photos(m_job.uin, m_job.albumId);
  const auto parts = archive->Parts(m_job.uin, m_job.albumId);
  if (const std::string failure = archive->Error(); !failure.empty()) {
    // An archive that cannot be read whole would have every photo fetched again, unrecorded.
    m_counts.archiveError = failure;
    PostAlbumDone(AlbumOutcome::kArchiveFailed);
    return;
  }
  AlbumPlan plan = PlanAlbum(entries, folder, records, parts, m_running);
  for (const std::string& address : plan.forgottenParts) {
    archive->ForgetPart(m_job.uin, m_job.albumId, address);
  }
  m_counts.kept = plan.present;
  if (plan.present > 0) {
    PostPresent(plan.present);
  }
  const bool recorded = m_running == 0 || FetchMissing(archive.get(), folder, plan);
  m_counts.failed = m_counts.listed - m_counts.kept - m_counts.saved;
  if (!recorded) {
    m_counts.archiveError = archive->Error();
    PostAlbumDone(AlbumOutcome::kArchiveFailed);  // the photos are there, their record is not
  } else if (m_running == 0) {
    PostAlbumDone(AlbumOutcome::kStopped);
  } else if (m_counts.failed == 0) {
    PostAlbumDone(AlbumOutcome::kCompleted);
  } else {
    PostAlbumDone(AlbumOutcome::kSomeFailed, m_counts.failed);
  }
}

bool CAlbumThread::FetchMissing(DownloadArchive* archive, const std::wstring& folder,
                                AlbumPlan& plan) {
  std::vector<PhotoTransferItem> items;
  items.reserve(plan.fetch.size());
  std::unordered_map<std::string, int32_t> listings;
  for (const PlannedPhoto& photo : plan.fetch) {
    items.push_back({photo.url, photo.path, photo.part, photo.validator});
    listings[photo.address] = photo.listings;
  }
  // The committer's thread counts and reports; the counts are read here after Drain.
  int32_t present = plan.present;
  int32_t saved = 0;
  int32_t adopted = 0;
  PhotoCommitter committer(archive, m_job.uin, m_job.albumId, folder, plan.claimed,
                           [&](const PhotoRecord& photo, bool savedNow) {
                             const int32_t entries = listings.at(photo.address);
                             (savedNow ? saved : adopted) += entries;
                             present += entries;
                             m_savedBytes += savedNow ? photo.size : 0;
                             PostPresent(present);
                           });
  TransferHooks hooks;
  hooks.handOver = true;
  hooks.resumableAbove = kResumableAboveBytes;
  hooks.partStarted = [&](size_t index, const std::filesystem::path& part,
                          const std::string& validator, uint64_t length) {
    archive->RecordPart(
        m_job.uin, m_job.albumId,
        {plan.fetch[index].address, Utf8ToWide(part.filename().string()), validator, length});
  };
  const int connections = m_job.connections > 0
                              ? m_job.connections
                              : (m_settings ? m_settings->ReadConnections() : kDefaultConnections);
  DownloadPhotos(
      items, connections, hooks, &m_running, [&](size_t index, const TransferResult& result) {
        if (result.result != S_OK) {
          return;  // a large photo's part file, if kept, is recorded already
        }
        const PlannedPhoto& photo = plan.fetch[index];
        committer.Add({photo.address, result.part, photo.path, photo.baseName, photo.sameNameFiles,
                       result.etag, result.lastModified, result.fileTime});
      });
  committer.Drain();
  m_counts.saved = saved;
  m_counts.kept += adopted;
  m_counts.savedBytes = m_savedBytes;
  return committer.Unrecorded() == 0;
}
