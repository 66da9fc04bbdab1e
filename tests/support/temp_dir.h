#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(TempDir&&) = delete;  // neither moved nor copied: one owner removes the folder

  const std::filesystem::path& Path() const { return m_path; }
  // Writes `bytes` to the file `name` inside the folder and returns its full path.
  std::filesystem::path Write(const std::string& name, std::string_view bytes) const;

 private:
  std::filesystem::path m_path;
};

std::string ReadFileBytes(const std::filesystem::path& path);
