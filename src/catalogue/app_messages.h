#pragma once

// The application's own window messages, posted to the main window.
//
// Every message of a download run carries the number of the run it belongs to, and every message
// of the login window the number of the opening it answers, so that the main window drops what an
// earlier run or an earlier opening sends late.

#include <cstdint>

#include "platform/win_types.h"

// The login window closed after it was opened because no album list could be read: read again.
// wParam: the number of that opening.
constexpr UINT WM_ALBUMS_RELOAD = WM_USER + 101;
// The worker saved a photo. wParam: RunParam(run, row); lParam: the album's listed photos that are
// there now (kept from earlier runs and saved in this one).
constexpr UINT WM_PHOTO_SAVED = WM_USER + 102;
// An album has ended (or a row was skipped): take the next step of the run.
// wParam: RunParam(run, row); lParam: OutcomeParam(outcome, photos that failed).
constexpr UINT WM_ALBUM_DONE = WM_USER + 103;
// The login window closed after a password album: find the album's page in the web cache.
// wParam: the number of that opening.
constexpr UINT WM_PASSWORD_RESUME = WM_USER + 104;
// The album list was read on its helper thread. wParam: the number of that read; lParam: the user
// number it was for.
constexpr UINT WM_ALBUMS_FETCHED = WM_USER + 105;

// How an album of a run ended.
enum class AlbumOutcome : uint8_t {
  kSkipped = 0,        // its row was not ticked
  kCompleted = 1,      // every listed photo is there
  kSomeFailed = 2,     // some listed photos could not be saved
  kListFailed = 3,     // the photo list could not be downloaded or read
  kPageNotFound = 4,   // a password album whose page is not in the web cache
  kStopped = 5,        // the run was stopped during the album
  kInUse = 6,          // another download of the album (another copy of the program) is running
  kArchiveFailed = 7,  // the download archive at the download root could not be read or written
};

// A run number and a row in one wParam.
constexpr WPARAM RunParam(uint32_t run, int32_t row) {
  return (static_cast<WPARAM>(run) << 32) | static_cast<uint32_t>(row);
}
constexpr uint32_t RunOfParam(WPARAM wParam) {
  return static_cast<uint32_t>(wParam >> 32);
}
constexpr int32_t RowOfParam(WPARAM wParam) {
  return static_cast<int32_t>(static_cast<uint32_t>(wParam & 0xFFFFFFFFu));
}

// An outcome and the number of photos that failed in one lParam.
constexpr LPARAM OutcomeParam(AlbumOutcome outcome, int32_t failed) {
  return static_cast<LPARAM>((static_cast<uint64_t>(static_cast<uint32_t>(failed)) << 8) |
                             static_cast<uint8_t>(outcome));
}
constexpr AlbumOutcome OutcomeOfParam(LPARAM lParam) {
  return static_cast<AlbumOutcome>(static_cast<uint64_t>(lParam) & 0xFF);
}
constexpr int32_t FailedOfParam(LPARAM lParam) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(lParam) >> 8));
}

static_assert(sizeof(WPARAM) == 8, "a run number and a row share one wParam");
static_assert(RunOfParam(RunParam(7, -1)) == 7 && RowOfParam(RunParam(7, -1)) == -1);
static_assert(FailedOfParam(OutcomeParam(AlbumOutcome::kSomeFailed, 3)) == 3);
