#pragma once

// The album-list document an album-list server answers with:
//
//   <anyroot>
//     <album><id>..</id><name>..</name><total>12</total><question>..</question></album>
//     ...
//   </anyroot>
//
// An album is usable when its id is non-empty (and at most kAlbumTextMaxBytes long; a cut id
// would name another album) and its total, read with the C atoi rules, is greater than 0; a record
// also needs a non-empty name. Names longer than kAlbumTextMaxBytes are cut to that length without
// splitting a character of the process code page, then trimmed of blanks. Both operations take a
// narrow path in the process code page and delete the file once they have tried to load it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/app_state.h"

// Longest id, name or question text an album holds.
constexpr size_t kAlbumTextMaxBytes = 127;

// The number of usable albums in the document (an album without a name counts too).
int32_t CountAlbumsInFile(const std::string& ansiPath);

// Appends one AlbumRecord per usable album with a name to AppState's list, numbering them from 0 in
// document order. True when at least one record was appended.
bool ParseAlbumListFile(const std::string& ansiPath);
// The same into `albums` (any thread; the shared state is not touched).
bool ParseAlbumListFile(const std::string& ansiPath,
                        std::vector<std::unique_ptr<AlbumRecord>>* albums);
