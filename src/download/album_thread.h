#pragma once

// The download worker: fetches the photos of one album on its own thread.
//
// The main window (or the command line) hands it one album job at a time (StartAlbum); the job is
// kept whole, privately, and nothing writes it while the thread reads it. The worker downloads the
// album's photo list (or takes the album page from the web cache) and reads it, takes the album's
// lock at the download root (another copy of the program downloading it makes the album end as
// kInUse, its folder untouched), opens the download archive, takes the album's folder from it
// (chosen once, then kept), and fetches only the listed photos that are not there already
// (several at once, as many as the settings' "connections", with their file names fixed in list
// order first). Each finished photo is put in place and recorded by a committer beside the
// transfers. Nothing in the album folder is ever removed or replaced, except part files of ours.
//
// It posts WM_PHOTO_SAVED with the number of listed photos present (kept and saved) and
// WM_ALBUM_DONE with the album's outcome at its end; both carry the job's run number. Stop clears
// the run flag: the transfers in flight are aborted at once (a large photo keeps its part file to
// resume later), the photos already complete are still put in place, and the worker ends. A job
// handed over while the thread of a stopped job is still ending waits, without blocking the
// caller, until that thread is gone.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/app_messages.h"
#include "download/album_job.h"
#include "download/kel_thread.h"
#include "download/photo_list.h"
#include "platform/win_types.h"

class DownloadSettings;
class DownloadArchive;
struct AlbumPlan;

// What became of an album's listed photos.
struct AlbumCounts {
  int32_t listed = 0;
  int32_t kept = 0;    // there already
  int32_t saved = 0;   // fetched and put in place now
  int32_t failed = 0;  // listed and still missing
  uint64_t savedBytes = 0;
  std::string archiveError;  // why the download archive failed, when it did
};

class CAlbumThread : public CKelThread {
 public:
  ~CAlbumThread() override;

  // The window that receives WM_PHOTO_SAVED and WM_ALBUM_DONE; set before the first job.
  void SetNotifyWindow(HWND window) { m_notifyWnd = window; }
  // Starts the job now when no thread runs; otherwise the job waits until the thread of the
  // previous job has ended (ResumeWaitingJob starts it). True when it started now.
  bool StartAlbum(const AlbumJob& job);
  // Starts the waiting job if the previous thread has ended by now (waiting at most
  // m_waitTimeout). Called when that thread reports its end.
  void ResumeWaitingJob();
  // Stops the running job (its transfers are aborted) and drops a waiting one.
  void Stop();
  // Whether the running job has been told to stop (or none runs).
  bool Stopping() const { return m_running == 0; }
  // The counts of the last job, read once its thread has been joined.
  const AlbumCounts& LastCounts() const { return m_counts; }
  // Bytes saved so far by the running job; any thread.
  uint64_t SavedBytesSoFar() const { return m_savedBytes; }

  void Run() override;

 private:
  void Launch(const AlbumJob& job);
  void DownloadListedAlbum();
  void DownloadCachedAlbum();
  // Downloads the job's photo list into its list file; false when that failed.
  bool DownloadPhotoList();
  // Locks the album, takes its folder from the archive and fetches what is missing, then posts
  // the album's end.
  void DownloadEntries(const std::vector<PhotoEntry>& entries);
  // Fetches the plan's photos; false when some could not be recorded.
  bool FetchMissing(DownloadArchive* archive, const std::wstring& folder, AlbumPlan& plan);
  std::wstring DownloadRoot() const;
  void PostAlbumDone(AlbumOutcome outcome, int32_t failed = 0);
  void PostPresent(int32_t present);

  AlbumJob m_job;  // the job being run, written by StartAlbum only while no thread runs
  std::shared_ptr<DownloadSettings> m_settings;  // kept alive for the job, also past shutdown
  HWND m_notifyWnd = nullptr;
  // 1 while the worker should go on; set when a job starts, cleared (any thread) to stop it.
  std::atomic<uint8_t> m_running{0};
  AlbumCounts m_counts;  // written by the worker thread
  std::atomic<uint64_t> m_savedBytes{0};
  std::optional<AlbumJob> m_waitingJob;  // UI thread only
};
