#pragma once

// The download worker: fetches the photos of one album on its own thread.
//
// The main window hands it one album job at a time (StartAlbum). The job is copied into the
// worker's fields only while no thread runs, and nothing writes them while the thread reads them.
// The worker downloads the album's photo list (or takes the album page from the web cache), reads
// it, empties and makes the album folder, downloads the photos (several at once, as many as the
// settings' "connections", with their file names fixed in list order first) and posts
// WM_PHOTO_SAVED after each saved photo and WM_ALBUM_DONE with the album's outcome at its end; both
// carry the job's run number. Stop clears m_running: the transfer in flight is aborted at once
// (it leaves no file), and the worker ends. A job handed over while the thread of a stopped job is
// still ending waits, without blocking the caller, until that thread is gone.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/app_messages.h"
#include "download/kel_thread.h"
#include "download/photo_files.h"
#include "download/photo_list.h"
#include "platform/code_page.h"
#include "platform/win_types.h"

class DownloadSettings;

// Longest photo address, in wide units.
constexpr size_t kPhotoAddressMaxUnits = 511;

// Everything the worker needs for one album, handed over whole.
struct AlbumJob {
  std::wstring photoListUrl;     // the photo list to download into listFile first; empty: none
  std::string listFile;          // the photo-list document, or the cached album page (narrow path)
  std::wstring albumFolderName;  // the album's folder name, cleaned
  uint8_t fromWebCache = 0;      // 0: photo-list document; 1: cached album page
  int32_t row = 0;               // the album's row, for the messages
  int32_t uin = 0;               // whose album it is
  uint32_t runId = 0;            // the run the album belongs to
  int connections = 0;           // photos downloaded at once; 0: as the settings say
  std::wstring downloadRoot;     // where the user folders go; empty: as the settings say
};

class CAlbumThread : public CKelThread {
 public:
  ~CAlbumThread() override;

  // Starts the job now when no thread runs; otherwise the job waits until the thread of the
  // previous job has ended (ResumeWaitingJob starts it). True when it started now.
  bool StartAlbum(const AlbumJob& job);
  // Starts the waiting job if the previous thread has ended by now (waiting at most
  // m_waitTimeout). Called when that thread reports its end.
  void ResumeWaitingJob();
  // Stops the running job (its transfer is aborted) and drops a waiting one.
  void Stop();

  void Run() override;
  void DownloadListedAlbum();
  void DownloadCachedAlbum();

  // The job being run, written by StartAlbum only while no thread runs.
  std::wstring m_photoListUrl;
  std::string m_listFile;  // narrow path, in the process code page
  std::wstring m_albumFolderName;
  uint8_t m_fromWebCache = 0;
  int32_t m_row = 0;
  int32_t m_uin = 0;
  uint32_t m_runId = 0;
  int m_connections = 0;
  std::wstring m_downloadRoot;
  std::shared_ptr<DownloadSettings> m_settings;  // kept alive for the job, also past shutdown

  HWND m_notifyWnd = nullptr;  // receives WM_PHOTO_SAVED and WM_ALBUM_DONE
  // 1 while the worker should go on; set when a job starts, cleared (any thread) to stop it.
  std::atomic<uint8_t> m_running{0};

 private:
  void Launch(const AlbumJob& job);
  // True (and the end posted) when the job was stopped before its folder was prepared.
  bool StoppedBeforeFolder();
  std::wstring PrepareFolder();
  // Downloads the job's photo list into its list file; false when that failed.
  bool DownloadPhotoList();
  // Prepares the album folder and downloads the listed photos, several at once as the settings
  // say, then posts the album's end.
  void DownloadEntries(const std::vector<PhotoEntry>& entries);
  // The photo's file name (cleaned, trimmed) and address (trimmed).
  static std::pair<std::wstring, std::wstring> NameAndAddress(const PhotoEntry& entry);
  // Downloads one photo; true when it was saved.
  bool DownloadPhoto(const PhotoEntry& entry, const std::wstring& albumFolder, int32_t* saved);
  void PostAlbumDone(AlbumOutcome outcome, int32_t failed = 0);
  // The outcome of an album whose list held `listed` photos of which `saved` were saved.
  AlbumOutcome OutcomeOf(int32_t listed, int32_t saved) const;

  std::optional<AlbumJob> m_waitingJob;  // UI thread only
  PhotoPathMemo m_pathMemo;              // used by the worker thread only
};
