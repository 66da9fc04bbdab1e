#include "worker_run.h"

#include <curl/curl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "catalogue/app_messages.h"
#include "platform/code_page.h"
#include "platform/posted_messages.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

size_t WriteToFile(char* data, size_t size, size_t count, void* file) {
  return std::fwrite(data, size, count, static_cast<FILE*>(file));
}

}  // namespace

void BenchFail(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::exit(1);
}

std::vector<std::string> PhotoAddresses(const SampleServiceProcess& service,
                                        const BenchAlbum& album) {
  std::vector<std::string> urls;
  for (int i = 0; i < album.photos; ++i) {
    urls.push_back("http://" + service.Host("img") + "/img/" + std::to_string(album.photoBytes) +
                   "/" + std::to_string(i) + ".jpg");
  }
  return urls;
}

std::filesystem::path WritePhotoList(const TempDir& dir, const std::vector<std::string>& urls) {
  std::string doc = "<?xml version=\"1.0\"?><data>";
  for (size_t i = 0; i < urls.size(); ++i) {
    doc += "<pic><name>photo" + std::to_string(i) + "</name><origin_url>" + urls[i] +
           "</origin_url></pic>";
  }
  return dir.Write("list.xml", doc + "</data>");
}

double TimedAlbumRun(CAlbumThread& worker, HWND window, const TempDir& dir,
                     const std::vector<std::string>& urls, int32_t uin,
                     const std::string& albumId) {
  const std::filesystem::path list = WritePhotoList(dir, urls);
  AlbumJob job;
  job.listFile = WideToAnsi(Utf8ToWide(list.string()));
  job.albumId = albumId;
  job.albumName = albumId;
  job.uin = uin;
  const auto start = Clock::now();
  worker.StartAlbum(job);
  // Joining the thread, rather than waking up for each posted message, keeps the measurement to
  // the worker's own work.
  worker.Join();
  const double seconds = SecondsSince(start);
  std::optional<AlbumOutcome> outcome;
  for (const PostedMessage& message : TakePostedMessages()) {
    if (message.hwnd == window && message.message == WM_ALBUM_DONE) {
      outcome = OutcomeOfParam(message.lParam);
    }
  }
  const AlbumCounts& counts = worker.LastCounts();
  if (outcome != AlbumOutcome::kCompleted ||
      static_cast<size_t>(counts.kept + counts.saved) != urls.size()) {
    BenchFail("the worker has " + std::to_string(counts.kept + counts.saved) + " of " +
              std::to_string(urls.size()) + " photos (" + std::to_string(counts.failed) +
              " failed)");
  }
  return seconds;
}

double TimedWorkerRun(CAlbumThread& worker, HWND window, const TempDir& dir,
                      const std::vector<std::string>& urls, int32_t uin) {
  static int run = 0;
  std::filesystem::remove_all(dir.Path() / "root");
  std::filesystem::create_directories(dir.Path() / "root");
  // What the removal and the runs before wrote goes to the disk before the clock starts, so that
  // no run pays for the writes of another.
  sync();
  const double seconds =
      TimedAlbumRun(worker, window, dir, urls, uin, "album" + std::to_string(run++));
  if (static_cast<size_t>(worker.LastCounts().saved) != urls.size()) {
    BenchFail("the worker saved " + std::to_string(worker.LastCounts().saved) + " of " +
              std::to_string(urls.size()) + " photos");
  }
  return seconds;
}

void CheckFiles(const std::filesystem::path& folder, size_t count, size_t bytes, const char* who) {
  size_t whole = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    whole += entry.is_regular_file() && entry.file_size() == bytes ? 1 : 0;
  }
  if (whole != count) {
    BenchFail(std::string(who) + " has " + std::to_string(whole) + " of " + std::to_string(count) +
              " photos whole");
  }
}

double CurlLoopSeconds(const std::filesystem::path& folder, const std::vector<std::string>& urls,
                       size_t photoBytes, bool flushEach) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  sync();  // as before a worker run
  CURL* curl = curl_easy_init();
  const auto start = Clock::now();
  for (size_t i = 0; i < urls.size(); ++i) {
    FILE* file = std::fopen((folder / ("photo" + std::to_string(i) + ".jpg")).c_str(), "wb");
    curl_easy_setopt(curl, CURLOPT_URL, urls[i].c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    const CURLcode result = curl_easy_perform(curl);
    if (flushEach && (std::fflush(file) != 0 || fsync(fileno(file)) != 0)) {
      BenchFail("cannot flush a photo's file");
    }
    std::fclose(file);
    if (result != CURLE_OK) {
      BenchFail(std::string("libcurl: ") + curl_easy_strerror(result));
    }
  }
  const double seconds = SecondsSince(start);
  curl_easy_cleanup(curl);
  CheckFiles(folder, urls.size(), photoBytes, "the libcurl loop");
  return seconds;
}
