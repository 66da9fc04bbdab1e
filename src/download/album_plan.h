#pragma once

// What a download of an album does with its listed photos, from what the archive recorded and
// what is on disk in the album's folder:
// - a photo whose address is recorded and whose file is there with the recorded size is kept and
//   not fetched at all;
// - a recorded photo whose file is gone is fetched again under its recorded name (a file of
//   another size under that name is not the photo: it stays, and the photo gets a new name);
// - a new photo gets the first free name "<name>.jpg", "<name>_1.jpg" ... that no file and no
//   recorded photo holds, fixed in list order before any transfer starts. Unrecorded files under
//   its names (an earlier copy of the album) are offered to the committer to compare bytes with.
// A photo listed twice (the same address) is fetched once. A part file that the archive names for
// a photo to fetch is resumed; every other part file of ours in the folder is removed.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "download/download_archive.h"
#include "download/photo_committer.h"
#include "download/photo_list.h"

struct PlannedPhoto {
  std::string address;          // the archive's key: the listed address without its outer spaces
  std::wstring url;             // the address as fetched
  std::wstring path;            // the name fixed for it
  std::wstring baseName;        // its cleaned name
  SameNameFiles sameNameFiles;  // unrecorded files under its names; may be null
  std::filesystem::path part;   // a part file to resume; empty: none
  std::string validator;        // that part's validator
  int32_t listings = 1;         // list entries that name this address
};

struct AlbumPlan {
  std::vector<PlannedPhoto> fetch;          // in list order
  int32_t listed = 0;                       // list entries
  int32_t present = 0;                      // list entries whose photo is there already
  std::set<std::wstring> claimed;           // every name the album's photos hold or are to take
  std::vector<std::string> forgottenParts;  // addresses whose recorded part files are gone
};

// The photo's file name (cleaned, trimmed, cut to a name buffer) and address (trimmed).
std::pair<std::wstring, std::wstring> PhotoNameAndAddress(const PhotoEntry& entry);

// Plans the album. Stops early (with what it has) when `running` drops.
AlbumPlan PlanAlbum(const std::vector<PhotoEntry>& entries, const std::wstring& folder,
                    const std::unordered_map<std::string, PhotoRecord>& records,
                    const std::vector<PartRecord>& parts, const std::atomic<uint8_t>& running);
