#include "download/photo_files.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/code_page.h"
#include "platform/file_path.h"
#include "platform/text_helpers.h"

namespace {

constexpr std::wstring_view kRemovedCharacters = L"./\\:*?<>|\"";
constexpr std::wstring_view kPhotoExtension = L".jpg";

// Whether anything, even a dangling link, has this name.
bool PathExists(const std::wstring& path) {
  struct stat info;
  return lstat(FsPath(path).c_str(), &info) == 0;
}

// `name` cut so that it and `suffix` (and the extension, for a photo) fit one file name, without
// splitting a character. Names that fit are left as they are.
std::wstring FitFileName(std::wstring_view name, std::wstring_view suffix,
                         std::wstring_view extension = kPhotoExtension) {
  const size_t fixed = WideToUtf8(suffix).size() + WideToUtf8(extension).size();
  std::wstring fitted(name);
  while (!fitted.empty() && WideToUtf8(fitted).size() + fixed > kFileNameMaxBytes) {
    fitted.pop_back();
  }
  return fitted;
}

std::wstring Candidate(std::wstring_view folder, std::wstring_view name, int number) {
  const std::wstring suffix = number == 0 ? L"" : L"_" + std::to_wstring(number);
  return std::wstring(folder) + L"/" + FitFileName(name, suffix) + suffix +
         std::wstring(kPhotoExtension);
}

// Works on file system paths throughout, so that names which are not valid text are deleted too.
bool DeleteTree(const std::filesystem::path& path) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::symlink_status(path, ec);
  if (ec) {
    return false;
  }
  if (std::filesystem::is_symlink(status)) {
    return std::filesystem::remove(path, ec);  // the link, never what it points to
  }
  std::filesystem::directory_iterator it(path, ec);
  if (ec) {
    return false;
  }
  std::vector<std::filesystem::path> entries;
  for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (ec) {
      break;
    }
    entries.push_back(it->path());
  }
  for (const std::filesystem::path& entry : entries) {
    const std::string name = entry.filename().string();
    if (name.empty() || name[0] == '.') {
      continue;
    }
    std::error_code entryError;
    const std::filesystem::file_status entryStatus =
        std::filesystem::symlink_status(entry, entryError);
    if (std::filesystem::is_directory(entryStatus)) {
      DeleteTree(entry);
    } else {
      std::filesystem::remove(entry, entryError);
    }
  }
  return std::filesystem::remove(path, ec) && !ec;
}

}  // namespace

std::wstring CleanFileName(std::wstring_view text) {
  std::wstring clean;
  clean.reserve(text.size());
  for (wchar_t c : text) {
    if (kRemovedCharacters.find(c) == std::wstring_view::npos) {
      clean.push_back(c);
    }
  }
  return clean;
}

int PhotoPathMemo::NextNumber(const std::wstring& folder, const std::wstring& name) const {
  const auto it = m_next.find({folder, name});
  return it == m_next.end() ? 1 : it->second;
}

void PhotoPathMemo::Remember(const std::wstring& folder, const std::wstring& name, int nextNumber) {
  m_next[{folder, name}] = nextNumber;
}

void PhotoPathMemo::Forget(const std::wstring& folder) {
  for (auto it = m_next.begin(); it != m_next.end();) {
    it = it->first.first == folder ? m_next.erase(it) : std::next(it);
  }
}

std::wstring MakePhotoPath(std::wstring_view folder, std::wstring_view name, PhotoPathMemo* memo,
                           std::set<std::wstring>* claimed) {
  const auto taken = [claimed](const std::wstring& path) {
    return (claimed != nullptr && claimed->count(path) != 0) || PathExists(path);
  };
  const auto claim = [claimed](std::wstring path) {
    if (claimed != nullptr) {
      claimed->insert(path);
    }
    return path;
  };
  std::wstring path = Candidate(folder, name, 0);
  if (!taken(path)) {
    return claim(path);
  }
  const std::wstring folderKey(folder);
  const std::wstring nameKey(name);
  int number = memo != nullptr ? memo->NextNumber(folderKey, nameKey) : 1;
  while (taken(path = Candidate(folder, name, number))) {
    ++number;
  }
  if (memo != nullptr) {
    memo->Remember(folderKey, nameKey, number + 1);
  }
  return claim(path);
}

std::wstring PrepareAlbumFolder(std::wstring_view root, int32_t uin,
                                std::wstring_view albumFolderName, PhotoPathMemo* memo) {
  std::error_code ec;
  const std::wstring userFolder = std::wstring(root) + L"/" + std::to_wstring(uin);
  if (!PathExists(userFolder)) {
    std::filesystem::create_directory(FsPath(userFolder), ec);
  }
  const std::wstring_view name = albumFolderName.empty() ? kUnnamedAlbumFolder : albumFolderName;
  const std::wstring albumFolder = userFolder + L"/" + std::wstring(name);
  if (PathExists(albumFolder)) {
    DeleteFolderTree(albumFolder);
  }
  std::filesystem::create_directory(FsPath(albumFolder), ec);
  if (memo != nullptr) {
    memo->Forget(albumFolder);
  }
  return albumFolder;
}

std::wstring AlbumFolderNameInRun(std::wstring_view cleanedName,
                                  std::set<std::wstring>* usedInRun) {
  const std::wstring_view name = cleanedName.empty() ? kUnnamedAlbumFolder : cleanedName;
  std::wstring candidate = FitFileName(name, L"", L"");
  for (int number = 1; usedInRun->count(candidate) != 0; ++number) {
    const std::wstring suffix = L"_" + std::to_wstring(number);
    candidate = FitFileName(name, suffix, L"") + suffix;
  }
  usedInRun->insert(candidate);
  return candidate;
}

std::wstring AlbumFolderNameOfListedName(const std::string& listedName,
                                         std::set<std::wstring>* usedInRun) {
  return AlbumFolderNameInRun(CleanFileName(AtMost(AnsiToWide(listedName), kNameMaxUnits)),
                              usedInRun);
}

bool DeleteFolderTree(std::wstring_view folder) {
  if (folder.empty()) {
    return false;
  }
  // "a/b/" names the same folder as "a/b", but would lead through a link named b.
  std::wstring trimmed(folder);
  while (trimmed.size() > 1 && trimmed.back() == L'/') {
    trimmed.pop_back();
  }
  return DeleteTree(FsPath(trimmed));
}
