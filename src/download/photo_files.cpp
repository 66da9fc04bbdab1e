#include "download/photo_files.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

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

bool IsPlainFileName(std::wstring_view name) {
  return !name.empty() && name != L"." && name != L".." && name.find(L'/') == std::wstring::npos;
}

std::wstring UserFolder(std::wstring_view root, int32_t uin) {
  return std::wstring(root) + L"/" + std::to_wstring(uin);
}

std::wstring MakeAlbumFolder(std::wstring_view root, int32_t uin,
                             std::wstring_view albumFolderName) {
  std::error_code ec;
  const std::wstring userFolder = UserFolder(root, uin);
  if (!PathExists(userFolder)) {
    std::filesystem::create_directory(FsPath(userFolder), ec);
  }
  const std::wstring_view name = albumFolderName.empty() ? kUnnamedAlbumFolder : albumFolderName;
  const std::wstring albumFolder = userFolder + L"/" + std::wstring(name);
  if (!PathExists(albumFolder)) {
    std::filesystem::create_directory(FsPath(albumFolder), ec);
  }
  return albumFolder;
}

std::wstring NumberedFolderName(std::wstring_view cleanedName, int number) {
  const std::wstring_view name = cleanedName.empty() ? kUnnamedAlbumFolder : cleanedName;
  if (number == 0) {
    return FitFileName(name, L"", L"");
  }
  const std::wstring suffix = L"_" + std::to_wstring(number);
  return FitFileName(name, suffix, L"") + suffix;
}

std::wstring CleanedAlbumName(const std::string& listedName) {
  return CleanFileName(AtMost(AnsiToWide(listedName), kNameMaxUnits));
}
