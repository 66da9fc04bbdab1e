#include "app/album_listing.h"

#include <cstdio>

#include "catalogue/album_list_fetch.h"
#include "platform/app_paths.h"
#include "platform/code_page.h"  // Utf8ToWide

int RunList(const CommandLine& line, const std::atomic<uint8_t>& running) {
  const AlbumListResult list = ReadAlbumList(Utf8ToWide(WorkFolder().string()), line.uin, &running);
  if (list.albums.empty()) {
    if (list.unreachable) {
      std::fprintf(stderr, "zupictrove: no album-list server could be reached\n");
    } else {
      std::fprintf(stderr,
                   "zupictrove: no album list for %d (the service lists none, or it needs "
                   "signing in first: sign in in the window)\n",
                   line.uin);
    }
    return 1;
  }
  for (const auto& album : list.albums) {
    std::printf("%s\t%s\t%d\t%s\n", album->m_albumId.c_str(),
                album->m_hasPassword != 0 ? "password" : "normal", album->m_photoCount,
                album->m_name.c_str());
  }
  return 0;
}
