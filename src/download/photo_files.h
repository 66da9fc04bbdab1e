#pragma once

// Where photos land: <download root>/<user number>/<album folder name>/<photo name>.jpg, the
// photo name numbered "<name>_<n>.jpg" from 1 when the plain name is taken.
//
// Nothing here deletes anything: an album folder keeps what it holds, and a photo never takes a
// name that is in use. Names from the service never leave their folder: CleanFileName removes . /
// \ : * ? < > | and ", an album whose cleaned name is empty gets the folder kUnnamedAlbumFolder
// (never the user folder itself), and a photo name is cut so that the file name fits the file
// system's 255 bytes.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

// Longest photo or album name, in wide units, that a name buffer holds.
constexpr size_t kNameMaxUnits = 127;
// Longest file name the file system takes, in bytes.
constexpr size_t kFileNameMaxBytes = 255;
// The folder of an album whose cleaned name is empty; the same on every run.
constexpr std::wstring_view kUnnamedAlbumFolder = L"未命名相册";

// `text` without the ten characters file names may not hold; everything else stays in order.
std::wstring CleanFileName(std::wstring_view text);

// Remembers, per folder and name, where the last search for a free number ended, so that many
// photos of one name cost one check each.
class PhotoPathMemo {
 public:
  int NextNumber(const std::wstring& folder, const std::wstring& name) const;
  void Remember(const std::wstring& folder, const std::wstring& name, int nextNumber);

 private:
  std::map<std::pair<std::wstring, std::wstring>, int> m_next;
};

// The first path "<folder>/<name>.jpg", then "<folder>/<name>_<n>.jpg" for n = 1, 2, ..., that
// does not exist (a file, a folder or a link). With a memo, the numbered names below the last one
// handed out for this folder and name are taken as still in use and not checked again.
// With `claimed`, a path in it counts as taken too, and the path returned is added to it: names
// are then fixed ahead of the downloads that will fill them.
std::wstring MakePhotoPath(std::wstring_view folder, std::wstring_view name,
                           PhotoPathMemo* memo = nullptr,
                           std::set<std::wstring>* claimed = nullptr);

// Whether `name` is one plain entry of a folder: not empty, not "." or "..", without '/'.
bool IsPlainFileName(std::wstring_view name);

// The user folder <root>/<uin>.
std::wstring UserFolder(std::wstring_view root, int32_t uin);
// Makes sure <root>/<uin> and <root>/<uin>/<album> exist (what is in them stays as it is); returns
// the album folder. Failures are left for the downloads into it to show.
std::wstring MakeAlbumFolder(std::wstring_view root, int32_t uin,
                             std::wstring_view albumFolderName);

// An album's folder name: the cleaned name (kUnnamedAlbumFolder when it is empty) cut between
// whole characters to fit a file name, then, for `number` from 1, "<name>_<number>".
std::wstring NumberedFolderName(std::wstring_view cleanedName, int number);
// The cleaned folder name of an album from its listed name (bytes of the process code page): its
// first kNameMaxUnits units, cleaned.
std::wstring CleanedAlbumName(const std::string& listedName);
