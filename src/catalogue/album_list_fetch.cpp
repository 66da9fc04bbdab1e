#include "catalogue/album_list_fetch.h"

#include <filesystem>
#include <system_error>

#include "catalogue/album_list_document.h"
#include "catalogue/app_state.h"
#include "catalogue/service_config.h"
#include "catalogue/web_cache.h"
#include "platform/code_page.h"
#include "platform/file_path.h"
#include "platform/url_download.h"

namespace {

void DeleteFile(std::wstring_view path) {
  std::error_code ec;
  std::filesystem::remove(FsPath(path), ec);
}

// Every list download starts from nothing: no cached copy of the address, no file.
bool DownloadList(const std::wstring& url, std::wstring_view widePath) {
  EvictCachedUrl(url);
  DeleteFile(widePath);
  return DownloadUrlToFile(url, widePath) == S_OK;
}

}  // namespace

bool LoadChosenAlbumList(int32_t uin, int server, std::wstring_view widePath,
                         const std::string& narrowPath) {
  const std::wstring url = AlbumListUrl(server, uin);
  if (url.empty()) {
    return false;
  }
  const std::wstring label = PhotoHostLabel(server);
  if (!DownloadList(url, widePath)) {
    return false;
  }
  const bool parsed = ParseAlbumListFile(narrowPath);
  DeleteFile(widePath);  // already gone, unless the narrow path could not name it
  if (!parsed) {
    return false;
  }
  AppState::Instance()->m_photoHostLabel = label;
  return true;
}

bool FetchAlbumList(std::wstring_view workFolder) {
  AppState* state = AppState::Instance();
  const int32_t uin = state->m_uin;
  state->ClearAlbums();

  std::error_code ec;
  const std::filesystem::path folder = FsPath(workFolder);
  if (!std::filesystem::exists(folder, ec)) {
    std::filesystem::create_directory(folder, ec);
  }

  const std::wstring widePath = std::wstring(workFolder) + std::to_wstring(uin) + L".xml";
  // The path whole, however long: the file system takes far longer paths than the 260 bytes of
  // the fixed text fields.
  const std::string narrowPath = WideToAnsi(widePath);

  int chosen = 0;
  int32_t best = 0;
  int32_t finalCount = 0;
  for (int server = 1; server <= kAlbumListServers; ++server) {
    int32_t count = 0;
    if (DownloadList(AlbumListUrl(server, uin), widePath)) {
      count = CountAlbumsInFile(narrowPath);
      DeleteFile(widePath);
    }
    if (server == 1) {
      if (count > 0) {
        chosen = 1;
      }
      best = count;
    } else if (server < kAlbumListServers) {
      if (count > best) {
        chosen = server;
        best = count;
      }
    } else {
      // The last server wins with any album at all, even against a better count.
      if (count >= 1) {
        chosen = server;
        finalCount = count;
      } else {
        finalCount = best;
      }
    }
  }
  if (finalCount <= 0) {
    return false;
  }
  return LoadChosenAlbumList(uin, chosen, widePath, narrowPath);
}
