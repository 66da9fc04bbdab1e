#include "download/album_plan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <set>
#include <system_error>
#include <unordered_set>

#include "download/photo_files.h"
#include "platform/code_page.h"
#include "platform/file_path.h"
#include "platform/text_helpers.h"
#include "platform/url_download.h"

namespace {

// Longest photo address, in wide units.
constexpr size_t kPhotoAddressMaxUnits = 511;

// What is in the album folder, by file system names (UTF-8).
struct FolderContents {
  // Unrecorded .jpg files by the photo names that can have taken them: "a_12.jpg" is the name of
  // a photo "a_12", or the 12th of a photo "a".
  std::unordered_map<std::string, std::vector<std::string>> filesByName;
  std::vector<std::string> partFiles;  // names of our part files
};

void AddPhotoFile(std::string_view name, FolderContents* contents) {
  if (!name.ends_with(".jpg") || name.size() == 4) {
    return;
  }
  std::string_view stem = name.substr(0, name.size() - 4);
  contents->filesByName[std::string(stem)].emplace_back(name);
  const size_t underscore = stem.rfind('_');
  if (underscore != std::string_view::npos && underscore > 0 && underscore + 1 < stem.size() &&
      stem.find_first_not_of("0123456789", underscore + 1) == std::string_view::npos) {
    contents->filesByName[std::string(stem.substr(0, underscore))].emplace_back(name);
  }
}

// Our part files: ".zp-" and sixteen hex digits, ".part".
bool IsPartFileName(std::string_view name) {
  constexpr size_t kHexDigits = 16;
  if (!name.starts_with(kPartFilePrefix) || !name.ends_with(kPartFileSuffix) ||
      name.size() != kPartFilePrefix.size() + kHexDigits + kPartFileSuffix.size()) {
    return false;
  }
  const std::string_view hex = name.substr(kPartFilePrefix.size(), kHexDigits);
  return hex.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

FolderContents ReadFolder(const std::string& folder,
                          const std::unordered_set<std::string>& recorded) {
  FolderContents contents;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    return contents;
  }
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (IsPartFileName(name)) {
      contents.partFiles.emplace_back(name);
      continue;
    }
    if (name.starts_with(".") || (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN) ||
        recorded.count(std::string(name)) != 0) {
      continue;
    }
    AddPhotoFile(name, &contents);
  }
  closedir(dir);
  return contents;
}

// A name the archive gives a file of the album must be one plain entry of the folder; anything
// else (a damaged or foreign archive) is not taken to name a file.
bool IsPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

bool IsPartName(const std::wstring& name) {
  return IsPartFileName(WideToUtf8(name));
}

// The size of the regular file at `path`; -1 when there is none.
int64_t SizeOf(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return -1;
  }
  return info.st_size;
}

std::string TrimmedBytes(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::pair<std::wstring, std::wstring> PhotoNameAndAddress(const PhotoEntry& entry) {
  const std::wstring name = AtMost(AnsiToWide(entry.name), kNameMaxUnits);
  const std::wstring address = AtMost(AnsiToWide(entry.originUrl), kPhotoAddressMaxUnits);
  return {TrimSpaces(CleanFileName(name)), TrimSpaces(address)};
}

AlbumPlan PlanAlbum(const std::vector<PhotoEntry>& entries, const std::wstring& folder,
                    const std::unordered_map<std::string, PhotoRecord>& records,
                    const std::vector<PartRecord>& parts, const std::atomic<uint8_t>& running) {
  AlbumPlan plan;
  plan.listed = static_cast<int32_t>(entries.size());
  // Kept photos are checked with file system names throughout: an album of many recorded photos
  // costs one lookup and one lstat each, and no text conversion.
  const std::string folderBytes = FsPath(folder).string();
  std::unordered_set<std::string> recordedNames;
  for (const auto& [address, record] : records) {
    if (IsPlainName(record.fileName)) {
      recordedNames.insert(record.fileName);
    }
  }
  const FolderContents contents = ReadFolder(folderBytes, recordedNames);
  std::unordered_map<std::string, SameNameFiles> sameNames;  // made once per name
  std::unordered_map<std::string, const PartRecord*> partOf;
  for (const PartRecord& part : parts) {
    if (IsPartName(part.partName)) {
      partOf[part.address] = &part;
    }
  }

  // First the photos that are recorded: kept, or fetched again under their own names, which no new
  // photo may then take.
  struct Listed {
    const PhotoEntry* entry;
    std::string address;
    std::wstring recordedPath;  // a recorded photo whose file is gone; empty otherwise
    int32_t listings = 1;
  };
  std::vector<Listed> missing;  // distinct addresses to fetch, in list order
  std::unordered_map<std::string, size_t> missingAt;
  std::unordered_set<std::string> kept;
  for (const PhotoEntry& entry : entries) {
    if (running == 0) {
      return plan;  // cut short: nothing is planned, and no part file is touched
    }
    std::string address = TrimmedBytes(entry.originUrl);
    if (kept.count(address) != 0) {
      plan.present += 1;  // listed twice, there already
      continue;
    }
    if (const auto at = missingAt.find(address); at != missingAt.end()) {
      missing[at->second].listings += 1;  // listed twice: fetched once
      continue;
    }
    std::wstring recordedPath;
    const auto record = records.find(address);
    if (record != records.end() && IsPlainName(record->second.fileName)) {
      const std::string path = folderBytes + "/" + record->second.fileName;
      struct stat info;
      const bool exists = lstat(path.c_str(), &info) == 0;
      if (exists && S_ISREG(info.st_mode) &&
          static_cast<uint64_t>(info.st_size) == record->second.size) {
        kept.insert(std::move(address));
        plan.present += 1;
        continue;
      }
      if (!exists) {
        recordedPath = folder + L"/" + Utf8ToWide(record->second.fileName);
        plan.claimed.insert(recordedPath);
      }
      // Otherwise something else has that name now: it stays, and the photo gets a new one.
    }
    missingAt[address] = missing.size();
    missing.push_back({&entry, std::move(address), std::move(recordedPath), 1});
  }

  // Then the names, in list order.
  std::set<std::string> resumedParts;
  PhotoPathMemo memo;
  for (Listed& listed : missing) {
    if (running == 0) {
      return plan;
    }
    const auto [fileName, url] = PhotoNameAndAddress(*listed.entry);
    PlannedPhoto photo;
    photo.address = listed.address;
    photo.url = url;
    photo.baseName = fileName;
    photo.listings = listed.listings;
    if (!listed.recordedPath.empty()) {
      photo.path = std::move(listed.recordedPath);
    } else {
      photo.path = MakePhotoPath(folder, fileName, &memo, &plan.claimed);
      const std::string name = WideToUtf8(fileName);
      if (const auto files = contents.filesByName.find(name); files != contents.filesByName.end()) {
        SameNameFiles& shared = sameNames[name];
        if (!shared) {
          auto paths = std::make_shared<std::vector<std::wstring>>();
          for (const std::string& file : files->second) {
            paths->push_back(folder + L"/" + Utf8ToWide(file));
          }
          shared = std::move(paths);
        }
        photo.sameNameFiles = shared;
      }
    }
    if (const auto part = partOf.find(listed.address); part != partOf.end()) {
      const std::string partPath = folderBytes + "/" + WideToUtf8(part->second->partName);
      if (SizeOf(partPath) > 0) {
        photo.part = partPath;
        photo.validator = part->second->validator;
        resumedParts.insert(WideToUtf8(part->second->partName));
      }
    }
    plan.fetch.push_back(std::move(photo));
  }
  for (const PartRecord& part : parts) {
    if (resumedParts.count(WideToUtf8(part.partName)) == 0) {
      plan.forgottenParts.push_back(part.address);
    }
  }
  // Part files of ours that no transfer of this run resumes: left by a crash, or by a transfer
  // whose photo is no longer listed or no longer missing.
  for (const std::string& name : contents.partFiles) {
    if (resumedParts.count(name) == 0) {
      std::error_code ec;
      std::filesystem::remove(std::filesystem::path(folderBytes) / name, ec);
    }
  }
  return plan;
}
