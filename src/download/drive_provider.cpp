#include "download/drive_provider.h"

#include <pwd.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/code_page.h"
#include "platform/file_path.h"

std::vector<std::wstring> HomeDriveProvider::DriveRoots() const {
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') {
    const passwd* user = getpwuid(getuid());
    home = user != nullptr ? user->pw_dir : nullptr;
  }
  if (home == nullptr || home[0] != '/') {
    return {};
  }
  std::wstring root = Utf8ToWide(home);
  if (root.back() != L'/') {
    root.push_back(L'/');
  }
  return {root};
}

bool HomeDriveProvider::IsFixedDrive(const std::wstring&) const {
  return true;
}

bool HomeDriveProvider::QueryFreeSpace(const std::wstring& root) const {
  struct statvfs info;
  return statvfs(FsPath(root).c_str(), &info) == 0;
}
