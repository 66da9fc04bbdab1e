#include "platform/file_path.h"

#include "platform/code_page.h"

std::filesystem::path FsPath(std::wstring_view widePath) {
  return std::filesystem::path(WideToUtf8(widePath));
}

std::filesystem::path FsPathFromAnsi(std::string_view ansiPath) {
  return FsPath(AnsiToWide(ansiPath));
}
