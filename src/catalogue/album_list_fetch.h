#pragma once

// Reading a user's album list from the four album-list servers.
//
// FetchAlbumList asks servers 1 to 4 in that order for the albums of AppState::m_uin, counts the
// usable albums of each answer, and chooses: server 1 when it counts any; servers 2 and 3 when
// they count strictly more than the best so far; server 4 whenever it counts at least one. The
// chosen server is then asked once more and its answer becomes the album list, with that server's
// photo host label stored in AppState::m_photoHostLabel. Every answer goes to "<uin>.xml" in the
// working folder and is deleted as soon as it has been read. Runs on the UI thread and blocks it
// for up to five downloads.

#include <cstdint>
#include <string>
#include <string_view>

// `workFolder` ends with a path separator; it is created (one level) when missing. True when the
// album list now holds the chosen server's albums.
bool FetchAlbumList(std::wstring_view workFolder);

// Downloads server `server`'s answer for `uin` into the file (given wide, and narrow in the
// process code page) and appends its albums. True when at least one record was appended; only
// then is the server's photo host label stored.
bool LoadChosenAlbumList(int32_t uin, int server, std::wstring_view widePath,
                         const std::string& narrowPath);
