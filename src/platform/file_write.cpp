#include "platform/file_write.h"

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <string>
#include <system_error>

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path temporary =
      path.parent_path() / ("tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      std::error_code ec;
      std::filesystem::remove(temporary, ec);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    std::filesystem::remove(temporary, ec);
    return false;
  }
  return true;
}
