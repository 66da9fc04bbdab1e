#include "download/album_job.h"

#include <string_view>

#include "catalogue/service_config.h"
#include "platform/app_paths.h"
#include "platform/code_page.h"

namespace {

bool IsPlainIdByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-';
}

std::string Hex(unsigned char c) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string{'%', kDigits[c >> 4], kDigits[c & 0x0F]};
}

AlbumJob JobOf(const AlbumRecord& album, int32_t uin, uint32_t runId) {
  AlbumJob job;
  job.albumId = album.m_albumId;
  job.albumName = album.m_name;
  job.listedPhotoCount = album.m_photoCount;
  job.row = album.m_index;
  job.uin = uin;
  job.runId = runId;
  return job;
}

}  // namespace

AlbumJob ListedAlbumJob(const AlbumRecord& album, int32_t uin, std::wstring_view photoHostLabel,
                        const std::wstring& workFolder, uint32_t runId) {
  AlbumJob job = JobOf(album, uin, runId);
  job.photoListUrl = PhotoListUrl(photoHostLabel, uin, AnsiToWide(AlbumIdForUrl(album.m_albumId)));
  job.listFile = PhotoListPath(workFolder, album.m_albumId);
  return job;
}

AlbumJob CachedAlbumJob(const AlbumRecord& album, int32_t uin, const std::wstring& cachedPage,
                        uint32_t runId) {
  AlbumJob job = JobOf(album, uin, runId);
  job.listFile = WideToAnsi(cachedPage);
  job.fromWebCache = 1;
  return job;
}

std::string PhotoListPath(const std::wstring& workFolder, const std::string& albumId) {
  return WideToAnsi(workFolder + PhotoListFileName(albumId) + OwnListSuffix() + L".xml");
}

std::wstring PhotoListFileName(const std::string& albumId) {
  std::string name;
  for (unsigned char c : albumId) {
    name += IsPlainIdByte(c) ? std::string(1, static_cast<char>(c)) : Hex(c);
  }
  return Utf8ToWide(name);
}

std::string AlbumIdForUrl(const std::string& albumId) {
  static constexpr std::string_view kBreaking = " \"#%&+<>\\^`{|}";
  std::string out;
  for (unsigned char c : albumId) {
    if (c <= 0x20 || c >= 0x7F || kBreaking.find(static_cast<char>(c)) != std::string_view::npos) {
      out += Hex(c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}
