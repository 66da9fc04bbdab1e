#pragma once

// Reading a user's album list from the four album-list servers.
//
// ReadAlbumList asks servers 1 to 4 at once for the albums of a user, counts the usable albums of
// each answer, and chooses: server 1 when it counts any; servers 2 and 3 when they count strictly
// more than the best so far; server 4 whenever it counts at least one. The chosen server is then
// asked once more and its answer becomes the album list, with that server's photo host label. The
// answers go to "<uin>-<server>.xml" (the probes) and "<uin>.xml" (the chosen list) in the working
// folder and are deleted as soon as they have been read. It touches no shared state, so it runs on
// a helper thread; a stop (`running` 0) abandons every transfer. FetchAlbumList does the same for
// AppState::m_uin on the calling thread and installs the result.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/app_state.h"

struct AlbumListResult {
  std::vector<std::unique_ptr<AlbumRecord>> albums;  // empty: no server lists an album
  std::wstring photoHostLabel;                       // of the chosen server
  // No server answered at all: no connection, a timeout, a cut-off answer or a server error (5xx)
  // from each. The network or the service is down; signing in would not help.
  bool unreachable = false;
};

// `workFolder` ends with a path separator; it is created (one level) when missing.
AlbumListResult ReadAlbumList(std::wstring_view workFolder, int32_t uin,
                              const std::atomic<uint8_t>* running = nullptr);

// Replaces AppState's albums with the result's; the photo host label changes only when the
// result holds albums. True when it does.
bool InstallAlbumList(AlbumListResult result);

// ReadAlbumList for AppState::m_uin, then InstallAlbumList.
bool FetchAlbumList(std::wstring_view workFolder);

// Downloads server `server`'s answer for `uin` into the file (given wide, and narrow in the
// process code page) and appends its albums to `result`. True when at least one record was
// appended; only then is the server's photo host label stored.
bool LoadChosenAlbumList(int32_t uin, int server, std::wstring_view widePath,
                         const std::string& narrowPath, AlbumListResult* result,
                         const std::atomic<uint8_t>* running = nullptr);
