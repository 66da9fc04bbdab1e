#include "catalogue/album_list_fetch.h"

#include <filesystem>
#include <system_error>

#include "catalogue/album_list_document.h"
#include "catalogue/app_state.h"
#include "catalogue/service_config.h"
#include "catalogue/web_cache.h"
#include "platform/app_paths.h"
#include "platform/code_page.h"
#include "platform/file_path.h"
#include "platform/url_download.h"
#include "platform/xml_file.h"

namespace {

void DeleteFile(std::wstring_view path) {
  std::error_code ec;
  std::filesystem::remove(FsPath(path), ec);
}

}  // namespace

bool LoadChosenAlbumList(int32_t uin, int server, std::wstring_view widePath,
                         const std::string& narrowPath, AlbumListResult* result,
                         const std::atomic<uint8_t>* running) {
  const std::wstring url = AlbumListUrl(server, uin);
  if (url.empty()) {
    return false;
  }
  // Every list download starts from nothing: no cached copy of the address, no file.
  EvictCachedUrl(url);
  DeleteFile(widePath);
  if (DownloadUrlToFile(url, widePath, DocumentTransfer(kMaxAlbumListBytes), running) != S_OK) {
    return false;
  }
  const bool parsed = ParseAlbumListFile(narrowPath, &result->albums);
  DeleteFile(widePath);  // already gone, unless the narrow path could not name it
  if (!parsed) {
    return false;
  }
  result->photoHostLabel = PhotoHostLabel(server);
  return true;
}

AlbumListResult ReadAlbumList(std::wstring_view workFolder, int32_t uin,
                              const std::atomic<uint8_t>* running) {
  EnsureWorkFolder(FsPath(workFolder));
  // The four servers are asked at once; each answer has a file of its own.
  std::vector<DownloadItem> probes;
  for (int server = 1; server <= kAlbumListServers; ++server) {
    const std::wstring url = AlbumListUrl(server, uin);
    const std::wstring path = std::wstring(workFolder) + std::to_wstring(uin) + L"-" +
                              std::to_wstring(server) + OwnListSuffix() + L".xml";
    EvictCachedUrl(url);
    DeleteFile(path);
    probes.push_back({url, path});
  }
  std::vector<int32_t> counts(kAlbumListServers, 0);
  int answered = 0;
  DownloadDocuments(
      probes, kAlbumListServers, DocumentTransfer(kMaxAlbumListBytes), running,
      [&](size_t index, const TransferResult& transfer) {
        // A whole answer, even a refusal (4xx), is a server that is there; no
        // connection, a timeout, a cut-off answer or a server error is not.
        if (transfer.result == S_OK || (transfer.status >= 400 && transfer.status < 500)) {
          ++answered;
        }
        if (transfer.result == S_OK) {
          // The path whole, however long: the file system takes far longer paths than
          // the 260 bytes of the fixed text fields.
          counts[index] = CountAlbumsInFile(WideToAnsi(probes[index].path));
        }
        DeleteFile(probes[index].path);
      });

  int chosen = 0;
  int32_t best = 0;
  int32_t finalCount = 0;
  for (int server = 1; server <= kAlbumListServers; ++server) {
    const int32_t count = counts[static_cast<size_t>(server - 1)];
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
  AlbumListResult result;
  result.unreachable = answered == 0;
  if (finalCount > 0) {
    const std::wstring widePath =
        std::wstring(workFolder) + std::to_wstring(uin) + OwnListSuffix() + L".xml";
    LoadChosenAlbumList(uin, chosen, widePath, WideToAnsi(widePath), &result, running);
  }
  return result;
}

bool InstallAlbumList(AlbumListResult result) {
  AppState* state = AppState::Instance();
  state->ClearAlbums();
  if (result.albums.empty()) {
    return false;
  }
  state->m_albums = std::move(result.albums);
  state->m_photoHostLabel = result.photoHostLabel;
  return true;
}

bool FetchAlbumList(std::wstring_view workFolder) {
  const int32_t uin = AppState::Instance()->m_uin;
  AppState::Instance()->ClearAlbums();
  return InstallAlbumList(ReadAlbumList(workFolder, uin));
}
