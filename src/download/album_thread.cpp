#include "download/album_thread.h"

#include <filesystem>
#include <set>
#include <system_error>
#include <vector>

#include "catalogue/web_cache.h"
#include "download/download_settings.h"
#include "platform/app_paths.h"
#include "platform/file_path.h"
#include "platform/file_read.h"
#include "platform/posted_messages.h"
#include "platform/text_helpers.h"
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
  m_listFile = job.listFile;
  m_photoListUrl = job.photoListUrl;
  m_albumFolderName = job.albumFolderName;
  m_fromWebCache = job.fromWebCache;
  m_row = job.row;
  m_uin = job.uin;
  m_runId = job.runId;
  m_connections = job.connections;
  m_downloadRoot = job.downloadRoot;
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
  const std::wstring root = !m_downloadRoot.empty() ? m_downloadRoot
                            : m_settings            ? m_settings->GetDownloadRoot()
                                                    : std::wstring();
  return PrepareAlbumFolder(root, m_uin, m_albumFolderName, &m_pathMemo);
}

bool CAlbumThread::DownloadPhotoList() {
  // As every list download: from the server, not the web cache's copy, into a new file.
  EvictCachedUrl(m_photoListUrl);
  EnsureWorkFolder(FsPathFromAnsi(m_listFile).parent_path());
  return DownloadUrlToFile(m_photoListUrl, AnsiToWide(m_listFile),
                           DocumentTransfer(kMaxPhotoListBytes), &m_running) == S_OK;
}

void CAlbumThread::DownloadListedAlbum() {
  if (!m_photoListUrl.empty() && !DownloadPhotoList()) {
    PostAlbumDone(m_running == 0 ? AlbumOutcome::kStopped : AlbumOutcome::kListFailed);
    return;
  }
  const std::string& listFile = m_listFile;
  TiXmlDocument doc;
  const bool loaded = LoadPhotoListDocument(listFile, doc);
  std::error_code ec;
  std::filesystem::remove(FsPathFromAnsi(listFile), ec);
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
  const std::string& listFile = m_listFile;
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
  if (StoppedBeforeFolder()) {
    return;
  }
  const std::wstring folder = PrepareFolder();
  const int connections =
      m_connections > 0 ? m_connections : (m_settings ? m_settings->ReadConnections() : 1);
  const int32_t listed = static_cast<int32_t>(entries.size());
  int32_t saved = 0;
  if (connections <= 1) {
    for (const PhotoEntry& entry : entries) {
      if (m_running == 0) {
        break;
      }
      DownloadPhoto(entry, folder, &saved);
    }
  } else {
    // Every file name is fixed in list order before any transfer starts, so that the files are
    // those of a download one photo at a time, whatever order the transfers end in.
    std::vector<DownloadItem> items;
    std::set<std::wstring> claimed;
    for (const PhotoEntry& entry : entries) {
      const auto [fileName, address] = NameAndAddress(entry);
      items.push_back({address, MakePhotoPath(folder, fileName, &m_pathMemo, &claimed)});
    }
    DownloadMany(items, connections, kPhotoTransfer, &m_running, [&](size_t, HRESULT result) {
      if (result == S_OK) {
        ++saved;
        PostMessage(m_notifyWnd, WM_PHOTO_SAVED, RunParam(m_runId, m_row), saved);
      }
    });
  }
  const AlbumOutcome outcome = OutcomeOf(listed, saved);
  PostAlbumDone(outcome, outcome == AlbumOutcome::kSomeFailed ? listed - saved : 0);
}

std::pair<std::wstring, std::wstring> CAlbumThread::NameAndAddress(const PhotoEntry& entry) {
  const std::wstring name = AtMost(AnsiToWide(entry.name), kNameMaxUnits);
  const std::wstring address = AtMost(AnsiToWide(entry.originUrl), kPhotoAddressMaxUnits);
  return {TrimSpaces(CleanFileName(name)), TrimSpaces(address)};
}

bool CAlbumThread::DownloadPhoto(const PhotoEntry& entry, const std::wstring& albumFolder,
                                 int32_t* saved) {
  const auto [fileName, address] = NameAndAddress(entry);
  const std::wstring path = MakePhotoPath(albumFolder, fileName, &m_pathMemo);
  if (DownloadUrlToFile(address, path, kPhotoTransfer, &m_running) != S_OK) {
    return false;
  }
  ++*saved;
  PostMessage(m_notifyWnd, WM_PHOTO_SAVED, RunParam(m_runId, m_row), *saved);
  return true;
}
