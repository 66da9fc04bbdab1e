#include "download/album_thread.h"

#include <filesystem>
#include <system_error>

#include "catalogue/file_read.h"
#include "catalogue/web_cache.h"
#include "download/download_settings.h"
#include "platform/file_path.h"
#include "platform/posted_messages.h"
#include "platform/text_helpers.h"
#include "platform/url_download.h"

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
  m_listFile = job.listFile;
  m_albumFolderName = job.albumFolderName;
  m_fromWebCache = job.fromWebCache;
  m_row = job.row;
  m_uin = job.uin;
  m_runId = job.runId;
  m_settings = DownloadSettings::Shared();
  // Set here, before the thread exists, so that a stop right after the start is never lost.
  m_running = 1;
  Start();
}

void CAlbumThread::Run() {
  if (m_fromWebCache == 0) {
    DownloadListedAlbum();
  } else {
    DownloadCachedAlbum();
  }
}

void CAlbumThread::PostAlbumDone(AlbumOutcome outcome, int32_t failed) {
  PostMessage(m_notifyWnd, WM_ALBUM_DONE, RunParam(m_runId, m_row), OutcomeParam(outcome, failed));
}

AlbumOutcome CAlbumThread::OutcomeOf(int32_t listed, int32_t saved) const {
  if (m_running == 0) {
    return AlbumOutcome::kStopped;
  }
  return saved == listed ? AlbumOutcome::kCompleted : AlbumOutcome::kSomeFailed;
}

bool CAlbumThread::StoppedBeforeFolder() {
  if (m_running != 0) {
    return false;
  }
  PostAlbumDone(AlbumOutcome::kStopped);  // stopped before it began: no folder is touched
  return true;
}

std::wstring CAlbumThread::PrepareFolder() {
  const std::wstring root = m_settings ? m_settings->GetDownloadRoot() : std::wstring();
  return PrepareAlbumFolder(root, m_uin, m_albumFolderName, &m_pathMemo);
}

void CAlbumThread::DownloadListedAlbum() {
  const std::string& listFile = m_listFile;
  TiXmlDocument doc;
  const bool loaded = LoadPhotoListDocument(listFile, doc);
  std::error_code ec;
  std::filesystem::remove(FsPathFromAnsi(listFile), ec);
  if (!loaded) {
    PostAlbumDone(AlbumOutcome::kListFailed);
    return;
  }
  if (StoppedBeforeFolder()) {
    return;
  }
  const std::wstring folder = PrepareFolder();
  int32_t listed = 0;
  int32_t saved = 0;
  ReadPhotoListDocument(doc, m_running, [&](const PhotoEntry& entry) {
    ++listed;
    DownloadPhoto(entry, folder, &saved);
  });
  const AlbumOutcome outcome = OutcomeOf(listed, saved);
  PostAlbumDone(outcome, outcome == AlbumOutcome::kSomeFailed ? listed - saved : 0);
}

void CAlbumThread::DownloadCachedAlbum() {
  const std::string& listFile = m_listFile;
  const std::optional<std::string> text =
      listFile.empty() ? std::nullopt : ReadTextFile(AnsiToWide(listFile), kMaxAlbumPageBytes);
  if (!text) {
    PostAlbumDone(AlbumOutcome::kPageNotFound);
    return;
  }
  if (StoppedBeforeFolder()) {
    return;
  }
  const std::wstring folder = PrepareFolder();
  int32_t listed = 0;
  int32_t saved = 0;
  ScanCachedAlbumPage(*text, m_running, [&](const PhotoEntry& entry) {
    ++listed;
    DownloadPhoto(entry, folder, &saved);
  });
  const AlbumOutcome outcome = OutcomeOf(listed, saved);
  PostAlbumDone(outcome, outcome == AlbumOutcome::kSomeFailed ? listed - saved : 0);
}

bool CAlbumThread::DownloadPhoto(const PhotoEntry& entry, const std::wstring& albumFolder,
                                 int32_t* saved) {
  const std::wstring name = AtMost(AnsiToWide(entry.name), kNameMaxUnits);
  const std::wstring address = AtMost(AnsiToWide(entry.originUrl), kPhotoAddressMaxUnits);
  const std::wstring fileName = TrimSpaces(CleanFileName(name));
  const std::wstring path = MakePhotoPath(albumFolder, fileName, &m_pathMemo);
  if (DownloadUrlToFile(TrimSpaces(address), path, kPhotoTransfer, &m_running) != S_OK) {
    return false;
  }
  ++*saved;
  PostMessage(m_notifyWnd, WM_PHOTO_SAVED, RunParam(m_runId, m_row), *saved);
  return true;
}
