#include "app/verify.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <optional>

#include "app/backup.h"
#include "download/download_archive.h"
#include "platform/code_page.h"
#include "platform/durable_file.h"
#include "platform/file_path.h"

int RunVerify(const CommandLine& line) {
  const std::wstring root = CommandLineRoot(line, false);
  if (root.empty()) {
    return kVerifyUnsound;  // nothing there to check
  }
  const std::filesystem::path rootPath = FsPath(root);
  std::error_code ec;
  if (!std::filesystem::exists(rootPath / std::string(kArchiveFileName), ec)) {
    std::fprintf(stderr, "zupictrove: no download archive in %s\n", rootPath.c_str());
    return kVerifyUnsound;
  }
  std::string error;
  const std::unique_ptr<DownloadArchive> archive =
      DownloadArchive::OpenForReading(rootPath, &error);
  if (!archive) {
    std::fprintf(stderr, "zupictrove: the download archive in %s cannot be read: %s\n",
                 rootPath.c_str(), error.c_str());
    return kVerifyUnsound;
  }
  int checked = 0;
  int unsound = 0;
  const std::optional<int32_t> uin =
      line.uin != 0 ? std::optional<int32_t>(line.uin) : std::nullopt;
  const bool read = archive->ForEachPhoto(
      uin, [&](int32_t owner, const std::wstring& albumFolder, const PhotoRecord& photo) {
        ++checked;
        const std::filesystem::path path =
            rootPath / std::to_string(owner) / FsPath(albumFolder) / photo.fileName;
        const std::optional<FileDigest> digest = DigestOfFile(path);
        const char* problem = nullptr;
        if (!digest) {
          problem = "missing";
        } else if (digest->size != photo.size) {
          problem = "changed (size)";
        } else if (digest->sha256 != photo.sha256) {
          problem = "changed (content)";
        }
        if (problem != nullptr) {
          ++unsound;
          std::printf("%s: %s\n", path.c_str(), problem);
        }
      });
  if (!read) {
    std::fprintf(stderr, "zupictrove: the download archive in %s cannot be read\n",
                 rootPath.c_str());
    return kVerifyUnsound;
  }
  std::printf("%d photos checked, %d missing or changed\n", checked, unsound);
  return unsound == 0 ? kVerifySound : kVerifyUnsound;
}
