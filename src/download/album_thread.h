#pragma once

// The download worker: fetches the photos of one album on its own thread.
//
// The main window fills the fields and calls Start for each album. The worker reads the album's
// photo list (the photo-list document, or the album page from the web cache), empties and makes
// the album folder, downloads the photos one at a time and posts WM_PHOTO_SAVED after each saved
// photo. It posts WM_ALBUM_DONE when the album ends: after a stop only for the web cache form.
// The UI thread stops it by clearing m_running; the photo in progress still completes.

#include <atomic>
#include <cstdint>
#include <string>

#include "download/kel_thread.h"
#include "download/photo_files.h"
#include "download/photo_list.h"
#include "platform/code_page.h"
#include "platform/win_types.h"

// Longest photo address, in wide units.
constexpr size_t kPhotoAddressMaxUnits = 511;

class CAlbumThread : public CKelThread {
 public:
  void Run() override;
  void DownloadListedAlbum();
  void DownloadCachedAlbum();

  AnsiField m_listFile{};          // the photo-list document, or the cached album page
  std::wstring m_albumFolderName;  // the album's cleaned name
  HWND m_notifyWnd = nullptr;      // receives WM_PHOTO_SAVED and WM_ALBUM_DONE
  uint8_t m_fromWebCache = 0;      // 0: photo-list document; 1: cached album page
  std::atomic<uint8_t> m_running{0};
  uint32_t m_runId = 0;  // the wParam of WM_ALBUM_DONE: the number of the run the album belongs to

 private:
  std::wstring PrepareFolder();
  void DownloadPhoto(const PhotoEntry& entry, const std::wstring& albumFolder, int32_t row,
                     int32_t* saved);
  void PostAlbumDone();

  PhotoPathMemo m_pathMemo;  // used by the worker thread only
};
