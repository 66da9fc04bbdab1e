#pragma once

// Paths as the file system takes them. The program holds paths as wide text (and, where a narrow
// path is handed on, in the process code page); file names on disk are UTF-8 bytes.

#include <filesystem>
#include <string_view>

std::filesystem::path FsPath(std::wstring_view widePath);
std::filesystem::path FsPathFromAnsi(std::string_view ansiPath);
