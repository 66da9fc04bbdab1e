#pragma once

// One album's job for the download worker, made in one place for the window and the command line:
// where its photo list comes from (downloaded into the working folder, or a page the embedded
// browser left in the web cache) and which album of which user it is. The worker chooses the
// album's folder itself, from the download archive, when the album comes to it.

#include <cstdint>
#include <string>

#include "catalogue/app_state.h"

struct AlbumJob {
  std::wstring photoListUrl;      // the photo list to download into listFile first; empty: none
  std::string listFile;           // the photo-list document, or the cached album page (narrow path)
  uint8_t fromWebCache = 0;       // 0: photo-list document; 1: cached album page
  std::string albumId;            // the album's id as listed
  std::string albumName;          // the album's name as listed (process code page)
  int32_t listedPhotoCount = -1;  // what the album list counts; -1: not known
  int32_t row = 0;                // the album's row, for the messages
  int32_t uin = 0;                // whose album it is
  uint32_t runId = 0;             // the run the album belongs to
  int connections = 0;            // photos downloaded at once; 0: as the settings say
  std::wstring downloadRoot;      // where the user folders go; empty: as the settings say
};

// The job of a normal album: its photo list comes from the photo host `photoHostLabel` into the
// working folder `workFolder` (ending in '/').
AlbumJob ListedAlbumJob(const AlbumRecord& album, int32_t uin, std::wstring_view photoHostLabel,
                        const std::wstring& workFolder, uint32_t runId);
// The job of a password album whose page the web cache holds in `cachedPage`.
AlbumJob CachedAlbumJob(const AlbumRecord& album, int32_t uin, const std::wstring& cachedPage,
                        uint32_t runId);

// The name of the local photo-list file of an album: the id itself when it is made of letters,
// digits, '_' and '-' only; otherwise every other byte as %XX, so that no id names a file outside
// the working folder.
std::wstring PhotoListFileName(const std::string& albumId);
// Where an album's photo list is kept: its file in the working folder `workFolder` (ending in '/'),
// with this process's OwnListSuffix.
std::string PhotoListPath(const std::wstring& workFolder, const std::string& albumId);
// The album id as it goes into a request: percent-encoded only where it would break the address.
std::string AlbumIdForUrl(const std::string& albumId);
