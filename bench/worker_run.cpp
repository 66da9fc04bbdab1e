#include "worker_run.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "catalogue/app_messages.h"
#include "platform/code_page.h"
#include "platform/posted_messages.h"

std::vector<std::string> PhotoAddresses(const SampleServiceProcess& service,
                                        const BenchAlbum& album) {
  std::vector<std::string> urls;
  for (int i = 0; i < album.photos; ++i) {
    urls.push_back("http://" + service.Host("img") + "/img/" + std::to_string(album.photoBytes) +
                   "/" + std::to_string(i) + ".jpg");
  }
  return urls;
}

double TimedWorkerRun(CAlbumThread& worker, HWND window, const TempDir& dir,
                      const std::vector<std::string>& urls, int32_t uin) {
  static int run = 0;
  std::filesystem::remove_all(dir.Path() / "root");
  std::filesystem::create_directories(dir.Path() / "root");
  std::string doc = "<?xml version=\"1.0\"?><data>";
  for (size_t i = 0; i < urls.size(); ++i) {
    doc += "<pic><name>photo" + std::to_string(i) + "</name><origin_url>" + urls[i] +
           "</origin_url></pic>";
  }
  const std::filesystem::path list = dir.Write("list.xml", doc + "</data>");
  AlbumJob job;
  job.listFile = WideToAnsi(Utf8ToWide(list.string()));
  job.albumId = "album" + std::to_string(run++);
  job.albumName = job.albumId;
  job.uin = uin;
  const auto start = std::chrono::steady_clock::now();
  worker.StartAlbum(job);
  // Joining the thread, rather than waking up for each posted message, keeps the measurement to
  // the worker's own work.
  worker.Join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  size_t saved = 0;
  bool done = false;
  for (const PostedMessage& message : TakePostedMessages()) {
    saved += message.hwnd == window && message.message == WM_PHOTO_SAVED ? 1 : 0;
    done = done || (message.hwnd == window && message.message == WM_ALBUM_DONE);
  }
  if (!done || saved != urls.size()) {
    std::fprintf(stderr, "the worker saved %zu of %zu photos\n", saved, urls.size());
    std::exit(1);
  }
  return seconds;
}
