#include "download/album_plan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <map>
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

struct FolderContents {
  std::map<std::wstring, std::vector<std::wstring>> filesByBase;  // plain .jpg files, by base name
  std::vector<std::string> partFiles;                             // names of our part files
};

// "a_12.jpg" and "a.jpg" both have the base "a": the names one photo name can take.
std::wstring BaseOfPhotoFile(std::wstring name) {
  if (name.size() < 4 || name.compare(name.size() - 4, 4, L".jpg") != 0) {
    return {};
  }
  name.resize(name.size() - 4);
  const size_t underscore = name.rfind(L'_');
  if (underscore != std::wstring::npos && underscore + 1 < name.size() &&
      name.find_first_not_of(L"0123456789", underscore + 1) == std::wstring::npos) {
    name.resize(underscore);
  }
  return name;
}

FolderContents ReadFolder(const std::wstring& folder) {
  FolderContents contents;
  DIR* dir = opendir(FsPath(folder).c_str());
  if (dir == nullptr) {
    return contents;
  }
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.starts_with(kPartFilePrefix) && name.ends_with(kPartFileSuffix)) {
      contents.partFiles.push_back(name);
      continue;
    }
    if (name.starts_with(".") || (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN)) {
      continue;
    }
    const std::wstring wide = Utf8ToWide(name);
    const std::wstring base = BaseOfPhotoFile(wide);
    if (!base.empty()) {
      contents.filesByBase[base].push_back(folder + L"/" + wide);
    }
  }
  closedir(dir);
  return contents;
}

// The size of the file at `path`; -1 when there is no regular file.
int64_t SizeOf(const std::wstring& path) {
  struct stat info;
  if (lstat(FsPath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return -1;
  }
  return info.st_size;
}

// A name the archive gives a file of the album must be one plain entry of the folder
// (IsPlainFileName); anything else (a damaged or foreign archive) is not taken to name a file.
bool IsPartName(const std::wstring& name) {
  const std::string bytes = WideToUtf8(name);
  return IsPlainFileName(name) && bytes.starts_with(kPartFilePrefix) &&
         bytes.ends_with(kPartFileSuffix);
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
  FolderContents contents = ReadFolder(folder);
  std::set<std::wstring> recordedPaths;
  for (const auto& [address, record] : records) {
    if (IsPlainFileName(record.fileName)) {
      recordedPaths.insert(folder + L"/" + record.fileName);
    }
  }
  plan.claimed = recordedPaths;
  for (auto& [base, files] : contents.filesByBase) {
    std::erase_if(files, [&](const std::wstring& path) { return recordedPaths.count(path) != 0; });
  }
  std::unordered_map<std::string, const PartRecord*> partOf;
  for (const PartRecord& part : parts) {
    if (IsPartName(part.partName)) {
      partOf[part.address] = &part;
    }
  }

  std::unordered_map<std::string, size_t> planned;  // address -> index in plan.fetch
  std::unordered_set<std::string> kept;
  std::set<std::string> resumedParts;
  PhotoPathMemo memo;
  for (const PhotoEntry& entry : entries) {
    if (running == 0) {
      break;
    }
    const std::string address = TrimmedBytes(entry.originUrl);
    if (kept.count(address) != 0) {
      plan.present += 1;  // listed twice, there already
      continue;
    }
    if (const auto seen = planned.find(address); seen != planned.end()) {
      plan.fetch[seen->second].listings += 1;
      continue;
    }
    PlannedPhoto photo;
    photo.address = address;
    const auto record = records.find(address);
    if (record != records.end() && IsPlainFileName(record->second.fileName)) {
      const std::wstring path = folder + L"/" + record->second.fileName;
      struct stat info;
      const bool exists = lstat(FsPath(path).c_str(), &info) == 0;
      if (exists && S_ISREG(info.st_mode) &&
          static_cast<uint64_t>(info.st_size) == record->second.size) {
        kept.insert(address);
        plan.present += 1;
        continue;
      }
      if (!exists) {
        photo.path = path;  // gone: fetched again under its own name
      }
      // Otherwise something else has that name now: it stays, and the photo gets a new one.
    }
    const auto [fileName, url] = PhotoNameAndAddress(entry);
    photo.url = url;
    photo.baseName = fileName;
    if (photo.path.empty()) {
      photo.path = MakePhotoPath(folder, fileName, &memo, &plan.claimed);
      const auto same = contents.filesByBase.find(BaseOfPhotoFile(fileName + L".jpg"));
      if (same != contents.filesByBase.end()) {
        photo.sameNameFiles = same->second;
      }
    } else {
      plan.claimed.insert(photo.path);
    }
    if (const auto part = partOf.find(address); part != partOf.end()) {
      const std::wstring partPath = folder + L"/" + part->second->partName;
      if (SizeOf(partPath) > 0) {
        photo.part = FsPath(partPath);
        photo.validator = part->second->validator;
        resumedParts.insert(WideToUtf8(part->second->partName));
      }
    }
    planned[address] = plan.fetch.size();
    plan.fetch.push_back(std::move(photo));
  }
  if (running == 0) {
    return plan;  // cut short: the part files of photos not planned yet are left alone
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
      std::filesystem::remove(FsPath(folder) / name, ec);
    }
  }
  return plan;
}
