// Runs of the download worker over a download root whose archive knows the album already, and
// first runs of the worker and of the command-line backup, against references measured in the
// same run. Times are the best of the rounds; the slowest round is shown beside it.
//
//   1,000 photos of 20 KB on loopback, first runs (archive and flushing as always), 3 rounds:
//     worker / libcurl, one handle, one photo after another               goal <= 1.10
//   1,000 photos of 20 KB, round trip 40 ms (the sample service with --latency-ms 40), one
//   worker, one download root, one album id:
//     re-run of the unchanged album / its first run                       goal <= 0.05
//     re-run after the list gained 10 photos: photos requested             goal 10, 1,010 there
//   100,000 photos recorded in the archive, every file there (10 bytes each), 3 rounds:
//     reading the archive's records and PlanAlbum, alone                   goal < 1 s
//     worker run over the list, fetching nothing, job start to end         goal < 1 s
//     (over as many photos as the photo-list reader takes, scaled to 100,000, when it refuses
//     a list of 100,000)
//   zupictrove --backup UIN --out DIR on loopback, first runs, 2 rounds (the album lists from a
//   second sample service, see Backups):
//     10,000 photos / 2,000 photos of 20 KB                               goal <= 6
//
// Besides the goals it prints what explains them: the cost of flushing each file on this disk,
// the committer alone, and the phases of the skip check.
//
//   archive_runs_bench [loopback] [reruns] [recorded] [backup]
//
// runs only the parts named (all of them without arguments), for a profiler.

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalogue/app_state.h"
#include "download/album_plan.h"
#include "download/album_thread.h"
#include "download/download_archive.h"
#include "download/download_settings.h"
#include "download/photo_committer.h"
#include "download/photo_files.h"
#include "download/photo_list.h"
#include "platform/code_page.h"
#include "platform/file_path.h"
#include "platform/posted_messages.h"
#include "platform/url_download.h"
#include "platform/xml_file.h"
#include "support/sample_service_process.h"
#include "support/service_fixture.h"
#include "support/spawn_with_home.h"
#include "support/temp_dir.h"
#include "worker_run.h"

namespace {

constexpr int32_t kUin = 10001;
constexpr int kLatencyMs = 40;
constexpr size_t kPhotoBytes = 20 * 1024;
constexpr int kAlbumPhotos = 1000;
constexpr int kNewPhotos = 10;
constexpr int kRounds = 3;

constexpr int32_t kRecordedUin = 10002;
constexpr int kRecordedPhotos = 100000;
constexpr size_t kRecordedBytes = 10;

constexpr int32_t kSmallBackupUin = 10051;
constexpr int32_t kLargeBackupUin = 10052;
constexpr int kSmallBackupPhotos = 2000;
constexpr int kLargeBackupPhotos = 10000;
constexpr int kBackupRounds = 2;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The best and the slowest of a figure's rounds.
struct Timing {
  double best = 1e9;
  double worst = 0;
  void Add(double seconds) {
    best = std::min(best, seconds);
    worst = std::max(worst, seconds);
  }
};

const char* Verdict(bool pass) {
  return pass ? "PASS" : "FAIL";
}

std::filesystem::path Root(const TempDir& dir) {
  return dir.Path() / "root";
}

std::unique_ptr<DownloadArchive> OpenArchive(const std::filesystem::path& root) {
  std::string error;
  std::unique_ptr<DownloadArchive> archive = DownloadArchive::Open(root, &error);
  if (!archive) {
    BenchFail("cannot open the archive: " + error);
  }
  return archive;
}

// The album's folder as the worker makes it: chosen in the archive, made on disk.
std::wstring AlbumFolderOf(DownloadArchive& archive, const std::filesystem::path& root, int32_t uin,
                           const std::string& albumId) {
  const std::wstring wideRoot = Utf8ToWide(root.string());
  const std::wstring userFolder = UserFolder(wideRoot, uin);
  std::filesystem::create_directories(FsPath(userFolder));
  const std::wstring name =
      archive.ChooseAlbumFolder(uin, albumId, CleanedAlbumName(albumId), FsPath(userFolder));
  if (name.empty()) {
    BenchFail("cannot choose the album's folder");
  }
  return MakeAlbumFolder(wideRoot, uin, name);
}

// Writes `count` files of `bytes` bytes into `folder`, named by `name(i)`, without flushing them.
template <typename Name>
void WriteFiles(const std::filesystem::path& folder, int count, size_t bytes, Name name) {
  const std::string content(bytes, 'x');
  for (int i = 0; i < count; ++i) {
    FILE* file = std::fopen((folder / name(i)).c_str(), "wb");
    if (file == nullptr || std::fwrite(content.data(), 1, content.size(), file) != bytes) {
      BenchFail("cannot write " + (folder / name(i)).string());
    }
    std::fclose(file);
  }
}

size_t AppendToString(char* data, size_t size, size_t count, void* text) {
  static_cast<std::string*>(text)->append(data, size * count);
  return size * count;
}

// The service's count of requests whose path starts with `prefix`; `reset` sets it back to 0.
long RequestCount(const SampleServiceProcess& service, const std::string& prefix, bool reset) {
  const std::string url =
      WideToUtf8(service.Url("img", "/__count?prefix=" + prefix + (reset ? "&reset=1" : "")));
  std::string body;
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendToString);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  const CURLcode result = curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  if (result != CURLE_OK) {
    BenchFail(std::string("the request counter: ") + curl_easy_strerror(result));
  }
  return std::strtol(body.c_str(), nullptr, 10);
}

// The worker, its window and the download root the settings name, shared by the parts.
struct Bench {
  TempDir fixtures;
  TempDir dir;
  HWND window = nullptr;
  CAlbumThread worker;
};

// --- First runs on loopback -----------------------------------------------------------------

// Flushing `count` files of `bytes` bytes one after another, each opened, flushed and closed: the
// least that flushing every photo costs on this disk.
double FlushEachSeconds(const std::filesystem::path& folder, int count, size_t bytes) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  sync();  // only the files written now are left to flush
  const auto name = [](int i) { return "photo" + std::to_string(i) + ".jpg"; };
  WriteFiles(folder, count, bytes, name);
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    const int fd = open((folder / name(i)).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fsync(fd) != 0) {
      BenchFail("cannot flush " + name(i));
    }
    close(fd);
  }
  const double seconds = SecondsSince(start);
  std::filesystem::remove_all(folder);
  return seconds;
}

// The worker's committer alone: `count` complete part files of `bytes` bytes, all handed over at
// once, put in place and recorded in a new archive at `root`, until Drain returns.
double CommitterSeconds(const std::filesystem::path& root, int count, size_t bytes) {
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);
  const std::unique_ptr<DownloadArchive> archive = OpenArchive(root);
  const std::string albumId = "committed";
  const std::wstring folder = AlbumFolderOf(*archive, root, kUin, albumId);
  sync();  // only the part files written now are left to flush
  const auto partName = [](int i) {
    return std::string(kPartFilePrefix) + std::to_string(i) + std::string(kPartFileSuffix);
  };
  WriteFiles(FsPath(folder), count, bytes, partName);
  std::set<std::wstring> claimed;
  std::vector<FinishedPhoto> photos;
  for (int i = 0; i < count; ++i) {
    FinishedPhoto photo;
    photo.address = "http://img.photo.localhost:1/img/" + std::to_string(i) + ".jpg";
    photo.part = FsPath(folder) / partName(i);
    photo.baseName = L"photo" + std::to_wstring(i);
    photo.path = folder + L"/" + photo.baseName + L".jpg";
    photo.fileTime = 1500000000;
    claimed.insert(photo.path);
    photos.push_back(std::move(photo));
  }
  int32_t committed = 0;
  const auto start = Clock::now();
  double seconds = 0;
  {
    PhotoCommitter committer(archive.get(), kUin, albumId, folder, claimed,
                             [&committed](const PhotoRecord&, bool) { ++committed; });
    for (FinishedPhoto& photo : photos) {
      committer.Add(std::move(photo));
    }
    committer.Drain();
    seconds = SecondsSince(start);
  }
  if (committed != count) {
    BenchFail("the committer placed " + std::to_string(committed) + " photos");
  }
  return seconds;
}

void Loopback(Bench& bench) {
  const SampleServiceProcess service(bench.fixtures.Path());
  const std::vector<std::string> urls = PhotoAddresses(service, {"", kAlbumPhotos, kPhotoBytes});
  const std::filesystem::path curlFolder = bench.dir.Path() / "curl";
  Timing worker;
  Timing curl;
  Timing curlFlushed;
  Timing flushOnly;
  Timing committer;
  // They take turns, so that all meet the same conditions of a shared machine.
  for (int round = 0; round < kRounds; ++round) {
    curl.Add(CurlLoopSeconds(curlFolder, urls, kPhotoBytes));
    worker.Add(TimedWorkerRun(bench.worker, bench.window, bench.dir, urls, kUin));
    curlFlushed.Add(CurlLoopSeconds(curlFolder, urls, kPhotoBytes, true));
    flushOnly.Add(FlushEachSeconds(curlFolder, kAlbumPhotos, kPhotoBytes));
    committer.Add(CommitterSeconds(bench.dir.Path() / "committed", kAlbumPhotos, kPhotoBytes));
  }
  std::filesystem::remove_all(curlFolder);
  std::filesystem::remove_all(bench.dir.Path() / "committed");

  const double ratio = worker.best / curl.best;
  std::printf(
      "3. first run of %d photos of %zu bytes on loopback, %d connections: worker %.3f s "
      "(slowest %.3f s), libcurl one by one %.3f s (slowest %.3f s)\n"
      "   worker / libcurl %.3f   goal <= 1.10   %s\n",
      kAlbumPhotos, kPhotoBytes, DownloadSettings::Shared()->ReadConnections(), worker.best,
      worker.worst, curl.best, curl.worst, ratio, Verdict(ratio <= 1.10));
  std::printf(
      "   where it goes: libcurl one by one with each file flushed %.3f s (slowest %.3f s); "
      "flushing %d written files one by one %.3f s; the committer alone, all %d handed over at "
      "once %.3f s (slowest %.3f s)\n",
      curlFlushed.best, curlFlushed.worst, kAlbumPhotos, flushOnly.best, kAlbumPhotos,
      committer.best, committer.worst);
  std::fflush(stdout);
}

// --- Re-runs over a 40 ms round trip --------------------------------------------------------

void ReRuns(Bench& bench) {
  const SampleServiceProcess service(bench.fixtures.Path(),
                                     {"--latency-ms", std::to_string(kLatencyMs)});
  const std::string albumId = "rerun";
  const std::vector<std::string> urls = PhotoAddresses(service, {"", kAlbumPhotos, kPhotoBytes});
  const double first = TimedAlbumRun(bench.worker, bench.window, bench.dir, urls, kUin, albumId);
  if (bench.worker.LastCounts().saved != kAlbumPhotos) {
    BenchFail("the first run saved " + std::to_string(bench.worker.LastCounts().saved) + " photos");
  }
  RequestCount(service, "/img/", true);
  Timing reRun;
  for (int round = 0; round < kRounds; ++round) {
    reRun.Add(TimedAlbumRun(bench.worker, bench.window, bench.dir, urls, kUin, albumId));
    if (bench.worker.LastCounts().kept != kAlbumPhotos) {
      BenchFail("a re-run kept " + std::to_string(bench.worker.LastCounts().kept) + " photos");
    }
  }
  const long reRunRequests = RequestCount(service, "/img/", true);

  const std::vector<std::string> grown =
      PhotoAddresses(service, {"", kAlbumPhotos + kNewPhotos, kPhotoBytes});
  const double grownSeconds =
      TimedAlbumRun(bench.worker, bench.window, bench.dir, grown, kUin, albumId);
  const long grownRequests = RequestCount(service, "/img/", false);
  const AlbumCounts counts = bench.worker.LastCounts();
  CheckFiles(Root(bench.dir) / std::to_string(kUin) / albumId, grown.size(), kPhotoBytes,
             "the grown album's folder");

  const double ratio = reRun.best / first;
  std::printf(
      "1. %d unchanged photos of %zu bytes, %d ms round trip: first run %.3f s, re-run %.3f s "
      "(slowest %.3f s; %ld photo requests in %d re-runs)\n"
      "   re-run / first run %.4f   goal <= 0.05   %s\n",
      kAlbumPhotos, kPhotoBytes, kLatencyMs, first, reRun.best, reRun.worst, reRunRequests, kRounds,
      ratio, Verdict(ratio <= 0.05 && reRunRequests == 0));
  std::printf(
      "2. re-run after %d new photos: %.3f s, %ld photos requested, %d saved and %d kept, %zu "
      "files there   goal %d requested, %zu there   %s\n",
      kNewPhotos, grownSeconds, grownRequests, counts.saved, counts.kept, grown.size(), kNewPhotos,
      grown.size(), Verdict(grownRequests == kNewPhotos));
  std::fflush(stdout);
}

// --- The skip check of 100,000 recorded photos ------------------------------------------------

// An album of kRecordedPhotos photos, every one recorded with its file there, made directly on
// disk and in the archive. Its addresses name a closed port: a photo fetched would fail.
std::vector<std::string> MakeRecordedAlbum(const TempDir& dir, const std::string& albumId,
                                           std::wstring* folder) {
  std::vector<std::string> urls;
  for (int i = 0; i < kRecordedPhotos; ++i) {
    urls.push_back("http://img.photo.localhost:1/img/" + std::to_string(kRecordedBytes) + "/" +
                   std::to_string(i) + ".jpg");
  }
  const std::unique_ptr<DownloadArchive> archive = OpenArchive(Root(dir));
  *folder = AlbumFolderOf(*archive, Root(dir), kRecordedUin, albumId);
  const auto name = [](int i) { return "photo" + std::to_string(i) + ".jpg"; };
  WriteFiles(FsPath(*folder), kRecordedPhotos, kRecordedBytes, name);
  std::vector<PhotoRecord> records(urls.size());
  for (size_t i = 0; i < urls.size(); ++i) {
    records[i].address = urls[i];
    records[i].fileName = name(static_cast<int>(i));
    records[i].size = kRecordedBytes;
    records[i].sha256 = std::string(64, '0');
    records[i].savedAt = static_cast<int64_t>(std::time(nullptr));
  }
  if (!archive->RecordPhotos(kRecordedUin, albumId, records)) {
    BenchFail("cannot record the photos");
  }
  return urls;
}

// Loads and reads the photo list of `urls` from a file, as the worker does; false when the list
// reader refuses it.
bool ReadList(const TempDir& dir, const std::vector<std::string>& urls,
              std::vector<PhotoEntry>* entries) {
  const std::atomic<uint8_t> running{1};
  const std::filesystem::path list = WritePhotoList(dir, urls);
  TiXmlDocument doc;
  if (!LoadPhotoListDocument(WideToAnsi(Utf8ToWide(list.string())), doc)) {
    return false;
  }
  ReadPhotoListDocument(doc, running,
                        [entries](const PhotoEntry& entry) { entries->push_back(entry); });
  return entries->size() == urls.size();
}

// The steps of the skip check timed alone, each the best of kRounds.
struct SkipPhases {
  bool listRead = false;  // false: the list reader refused the list (then `readList` is that)
  double readList = 1e9;
  double readArchive = 1e9;
  double plan = 1e9;
};

SkipPhases TimeSkipPhases(const TempDir& dir, const std::vector<std::string>& urls,
                          const std::string& albumId, const std::wstring& folder) {
  SkipPhases phases;
  std::vector<PhotoEntry> entries;
  for (int round = 0; round < kRounds; ++round) {
    entries.clear();
    const auto start = Clock::now();
    phases.listRead = ReadList(dir, urls, &entries);
    phases.readList = std::min(phases.readList, SecondsSince(start));
  }
  if (!phases.listRead) {
    entries.clear();
    for (size_t i = 0; i < urls.size(); ++i) {
      entries.push_back({"photo" + std::to_string(i), urls[i]});
    }
  }
  const std::atomic<uint8_t> running{1};
  for (int round = 0; round < kRounds; ++round) {
    auto start = Clock::now();
    const std::unique_ptr<DownloadArchive> archive = OpenArchive(Root(dir));
    const std::unordered_map<std::string, PhotoRecord> records =
        archive->Photos(kRecordedUin, albumId);
    const std::vector<PartRecord> parts = archive->Parts(kRecordedUin, albumId);
    phases.readArchive = std::min(phases.readArchive, SecondsSince(start));
    start = Clock::now();
    const AlbumPlan plan = PlanAlbum(entries, folder, records, parts, running);
    phases.plan = std::min(phases.plan, SecondsSince(start));
    if (!plan.fetch.empty() || plan.present != static_cast<int32_t>(urls.size())) {
      BenchFail("the plan fetches " + std::to_string(plan.fetch.size()) + " photos");
    }
  }
  return phases;
}

void Recorded(Bench& bench) {
  const std::string albumId = "recorded";
  std::wstring folder;
  const auto setUpStart = Clock::now();
  std::vector<std::string> urls = MakeRecordedAlbum(bench.dir, albumId, &folder);
  const double setUp = SecondsSince(setUpStart);
  const SkipPhases all = TimeSkipPhases(bench.dir, urls, albumId, folder);
  const double skipCheck = all.readArchive + all.plan;
  std::printf(
      "4. skip check of %d recorded photos (made in %.1f s): opening and reading the archive "
      "%.3f s + PlanAlbum %.3f s = %.3f s   goal < 1 s   %s\n",
      kRecordedPhotos, setUp, all.readArchive, all.plan, skipCheck, Verdict(skipCheck < 1.0));

  // The worker's run over the list; over as much of it as the list reader takes when it refuses
  // the whole list (it caps the nodes of a document, at 3 a photo besides the declaration and the
  // root element).
  SkipPhases taken = all;
  if (!all.listRead) {
    std::printf(
        "   a worker run over the list of all %d cannot be timed: the photo-list reader refuses "
        "it (in %.3f s; at most %zu nodes, 3 a photo)\n",
        kRecordedPhotos, all.readList, kMaxXmlNodes);
    urls.resize((kMaxXmlNodes - 2) / 3);
    taken = TimeSkipPhases(bench.dir, urls, albumId, folder);
    if (!taken.listRead) {
      BenchFail("the list reader refuses " + std::to_string(urls.size()) + " photos too");
    }
  }
  Timing worker;
  for (int round = 0; round < kRounds; ++round) {
    worker.Add(TimedAlbumRun(bench.worker, bench.window, bench.dir, urls, kRecordedUin, albumId));
    if (bench.worker.LastCounts().kept != static_cast<int32_t>(urls.size())) {
      BenchFail("the run kept " + std::to_string(bench.worker.LastCounts().kept) + " photos");
    }
  }
  const double scaled = worker.best * kRecordedPhotos / static_cast<double>(urls.size());
  char scaledText[64] = "";
  if (!all.listRead) {
    std::snprintf(scaledText, sizeof(scaledText), ", %.3f s scaled to %d", scaled, kRecordedPhotos);
  }
  std::printf(
      "   worker run over a list of %zu of them: %.3f s (slowest %.3f s)%s   goal < 1 s   %s\n"
      "   alone: reading the list %.3f s, opening and reading the archive %.3f s, PlanAlbum "
      "%.3f s; the rest of the run %.3f s\n",
      urls.size(), worker.best, worker.worst, scaledText, Verdict(scaled < 1.0), taken.readList,
      taken.readArchive, taken.plan, worker.best - taken.readList - taken.readArchive - taken.plan);
  std::fflush(stdout);
}

// --- The command-line backup ------------------------------------------------------------------

// The real program in a folder of its own, with a service.ini; a backup's seconds from starting
// the program until it has ended, into a new --out folder.
class BackupProgram {
 public:
  explicit BackupProgram(const std::string& serviceIni) {
    std::filesystem::copy_file(ZP_PROGRAM, m_exe.Path() / "zupictrove");
    std::filesystem::permissions(m_exe.Path() / "zupictrove", std::filesystem::perms::owner_all);
    m_exe.Write("service.ini", serviceIni);
  }

  double Seconds(int32_t uin, const std::string& albumFolder, int photos) {
    const std::filesystem::path out = m_home.Path() / "out";
    std::filesystem::remove_all(out);
    const std::filesystem::path output = m_home.Path() / "output.txt";
    const std::vector<std::string> shell = {"-c",
                                            "exec \"$0\" \"$@\" > '" + output.string() + "' 2>&1",
                                            (m_exe.Path() / "zupictrove").string(),
                                            "--backup",
                                            std::to_string(uin),
                                            "--out",
                                            out.string()};
    const auto start = Clock::now();
    const pid_t pid = SpawnWithHome("/bin/sh", shell, m_home.Path());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
      BenchFail("cannot run zupictrove");
    }
    const double seconds = SecondsSince(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      BenchFail("zupictrove --backup did not complete:\n" + ReadFileBytes(output));
    }
    CheckFiles(out / std::to_string(uin) / albumFolder, static_cast<size_t>(photos), kPhotoBytes,
               "the backup's album folder");
    std::filesystem::remove_all(out);
    return seconds;
  }

 private:
  TempDir m_exe;
  TempDir m_home;
};

// `ini` with its album-list hosts on `port` instead of `fixturePort`.
std::string AlbumListsOnPort(const std::string& ini, int fixturePort, int port) {
  const std::string from = ":" + std::to_string(fixturePort);
  std::istringstream lines(ini);
  std::string line;
  std::string result;
  while (std::getline(lines, line)) {
    if (line.rfind("album_list_host_", 0) == 0 && line.ends_with(from)) {
      line.replace(line.size() - from.size(), from.size(), ":" + std::to_string(port));
    }
    result += line + "\n";
  }
  return result;
}

void Backups() {
  ServiceFixture fixture;
  fixture.ServeUser(kSmallBackupUin,
                    {FixtureAlbum("small", "Small", kSmallBackupPhotos, false, "", kPhotoBytes)});
  fixture.ServeUser(kLargeBackupUin,
                    {FixtureAlbum("large", "Large", kLargeBackupPhotos, false, "", kPhotoBytes)});
  // The program keeps its connections to the album-list servers open while it downloads. The
  // sample service answers with 8 threads and holds one for each open connection until it has
  // been idle for 5 s, so those 4 and the photo list's beside the 4 photo connections leave one
  // photo connection waiting up to 5 s. A second service, on the same fixture, answers the album
  // lists, so that the figures are the program's own.
  const SampleServiceProcess albumLists(fixture.m_files.Path());
  BackupProgram program(
      AlbumListsOnPort(fixture.ServiceIni(), fixture.Service().Port(), albumLists.Port()));
  Timing small;
  Timing large;
  for (int round = 0; round < kBackupRounds; ++round) {
    small.Add(program.Seconds(kSmallBackupUin, "Small", kSmallBackupPhotos));
    large.Add(program.Seconds(kLargeBackupUin, "Large", kLargeBackupPhotos));
  }
  BackupProgram oneService(fixture.ServiceIni());
  const double smallOnOne = oneService.Seconds(kSmallBackupUin, "Small", kSmallBackupPhotos);

  const double ratio = large.best / small.best;
  std::printf(
      "5. zupictrove --backup, first runs on loopback: %d photos %.3f s (slowest %.3f s), %d "
      "photos %.3f s (slowest %.3f s)\n"
      "   %d / %d photos %.3f   goal <= 6   %s\n"
      "   %d photos with the album lists on the same service as the photos: %.3f s\n",
      kSmallBackupPhotos, small.best, small.worst, kLargeBackupPhotos, large.best, large.worst,
      kLargeBackupPhotos, kSmallBackupPhotos, ratio, Verdict(ratio <= 6.0), kSmallBackupPhotos,
      smallOnOne);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> parts(argv + 1, argv + argc);
  const auto wanted = [&parts](const char* part) {
    return parts.empty() || std::find(parts.begin(), parts.end(), part) != parts.end();
  };
  SetProcessCodePage("UTF-8");
  Bench bench;
  std::filesystem::create_directories(Root(bench.dir));
  auto settings = std::make_unique<DownloadSettings>(bench.dir.Path() / "config.ini",
                                                     std::make_shared<HomeDriveProvider>());
  settings->WritePhotoDir(Utf8ToWide(Root(bench.dir).string()));
  DownloadSettings::SetInstance(std::move(settings));
  AppState::Instance()->m_uin = kUin;
  bench.window = CreateWindowHandle();
  bench.worker.SetNotifyWindow(bench.window);

  // The loopback first runs empty the download root before each run: they come first.
  if (wanted("loopback")) {
    Loopback(bench);
  }
  if (wanted("reruns")) {
    ReRuns(bench);
  }
  if (wanted("recorded")) {
    Recorded(bench);
  }
  if (wanted("backup")) {
    Backups();
  }
  DestroyWindowHandle(bench.window);
  DownloadSettings::Destroy();
  AppState::Destroy();
  return 0;
}
