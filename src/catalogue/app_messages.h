#pragma once

// The application's own window messages, posted to the main window.

#include "platform/win_types.h"

// The login window closed after it was opened because no album list could be read: read again.
constexpr UINT WM_ALBUMS_RELOAD = WM_USER + 101;
// The worker saved a photo. wParam: the album's row; lParam: photos saved so far in this album.
constexpr UINT WM_PHOTO_SAVED = WM_USER + 102;
// An album has ended (or a row was skipped): take the next step of the run.
constexpr UINT WM_ALBUM_DONE = WM_USER + 103;
// The login window closed after a password album: find the album's page in the web cache.
constexpr UINT WM_PASSWORD_RESUME = WM_USER + 104;
