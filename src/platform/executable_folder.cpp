#include "platform/executable_folder.h"

#include <filesystem>
#include <system_error>

#include "platform/code_page.h"

std::wstring ExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) {
    return L"./";
  }
  std::wstring folder = Utf8ToWide(exe.parent_path().string());
  if (folder.empty() || folder.back() != L'/') {
    folder.push_back(L'/');
  }
  return folder;
}
