// The download worker and the album-list fetch over a network with a round trip of 40 ms (the
// sample service started with --latency-ms 40), against references measured in the same run.
// Each figure is the best of 3 rounds; within a round the worker and its references take turns.
//
//   300 photos of 100 KB, 4 connections:
//     worker / curl --parallel --parallel-max 4                   goal: ratio <= 1.15
//     worker / libcurl, one handle, one photo after another       goal: ratio <= 0.35
//   10 photos of 20 MB, the service pacing at 200,000 kbit/s:
//     worker / curl --parallel --parallel-max 4                   goal: ratio <= 1.10
//   album list, server 2 answering after 3 s ("late" fault):
//     ReadAlbumList / (3 s + one more round trip)                 goal: ratio <= 1.1
//   peak resident memory of the worker in both albums             goal: < 64 MiB
//
// The curl command-line tool is looked up on PATH; without it, the ratios against it are skipped.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalogue/album_list_fetch.h"
#include "catalogue/app_messages.h"
#include "catalogue/app_state.h"
#include "catalogue/service_config.h"
#include "download/album_thread.h"
#include "download/download_settings.h"
#include "platform/code_page.h"
#include "platform/posted_messages.h"
#include "platform/url_cache.h"
#include "support/sample_service_process.h"
#include "support/temp_dir.h"
#include "ui/album_list_item.h"
#include "ui/main_window.h"
#include "uilib/headless/headless_backend.h"
#include "uilib/paint_manager.h"
#include "uilib/resources.h"
#include "worker_run.h"

extern char** environ;

namespace {

constexpr int kRounds = 3;
constexpr int kConnections = 4;
constexpr int kLatencyMs = 40;
constexpr int kBigAlbumRateKbps = 200000;
// How long the sample service's "late" fault holds back an answer.
constexpr int kLateAnswerMs = 3000;
constexpr int32_t kUin = 10001;
constexpr double kPeakGoalMiB = 64;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "network_bench: %s\n", what.c_str());
  std::exit(1);
}

// The sample service with a network's round trip and, optionally, a rate for photo bodies.
class LatentService : public SampleServiceProcess {
 public:
  LatentService(const std::filesystem::path& fixtures, int latencyMs, int rateKbps)
      : SampleServiceProcess(fixtures, Options(latencyMs, rateKbps)) {}

  // The default service addresses with this service's four album-list servers.
  ServiceConfig AlbumListConfig() const {
    ServiceConfig config = ServiceConfig::Defaults();
    for (int i = 0; i < kAlbumListServers; ++i) {
      config.albumListHosts[i] = Utf8ToWide(Host("alist" + std::to_string(i + 1)));
    }
    return config;
  }

 private:
  static std::vector<std::string> Options(int latencyMs, int rateKbps) {
    std::vector<std::string> options = {"--latency-ms", std::to_string(latencyMs)};
    if (rateKbps > 0) {
      options.insert(options.end(), {"--rate-kbps", std::to_string(rateKbps)});
    }
    return options;
  }
};

// The worker's resident memory: the high-water mark is reset before each of its runs and read
// after it, so the references (the in-process libcurl loop among them) never count.
void ResetPeakResident() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.close();
  if (!clear) {
    Fail("cannot reset the peak resident memory (/proc/self/clear_refs)");
  }
}

long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) {
      return std::strtol(line.c_str() + 6, nullptr, 10);
    }
  }
  Fail("no VmHWM in /proc/self/status");
}

// A timed worker run, with the worker's peak resident memory: the high-water mark is reset just
// before it and read after it.
double WorkerSeconds(CAlbumThread& worker, HWND window, const TempDir& dir,
                     const std::vector<std::string>& urls, long* peakKiB) {
  ResetPeakResident();
  const double seconds = TimedWorkerRun(worker, window, dir, urls, kUin);
  *peakKiB = std::max(*peakKiB, PeakResidentKiB());
  return seconds;
}

// The curl command-line tool on PATH, if there is one.
std::optional<std::string> FindCurl() {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::filesystem::path candidate =
        std::filesystem::path(folder.empty() ? "." : folder) / "curl";
    std::error_code ec;
    if (std::filesystem::is_regular_file(candidate, ec) && access(candidate.c_str(), X_OK) == 0) {
      return candidate.string();
    }
  }
  return std::nullopt;
}

// `curl --parallel --parallel-max 4` with every address and its own output file, from starting
// the tool until it has ended.
double CurlParallelSeconds(const std::string& curl, const std::filesystem::path& folder,
                           const std::vector<std::string>& urls, size_t photoBytes) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string parallelMax = std::to_string(kConnections);
  std::vector<std::string> files;
  for (size_t i = 0; i < urls.size(); ++i) {
    files.push_back((folder / ("photo" + std::to_string(i) + ".jpg")).string());
  }
  std::vector<const char*> argv = {curl.c_str(), "--silent",       "--show-error",     "--fail",
                                   "--parallel", "--parallel-max", parallelMax.c_str()};
  for (size_t i = 0; i < urls.size(); ++i) {
    argv.push_back("--output");
    argv.push_back(files[i].c_str());
    argv.push_back(urls[i].c_str());
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  // In parallel mode the tool draws its progress meter even when told to be silent; its error
  // messages are kept for a failure.
  const std::filesystem::path errors = folder.parent_path() / "curl-errors.txt";
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  const auto start = Clock::now();
  const int rc = posix_spawn(&pid, curl.c_str(), &actions, nullptr,
                             const_cast<char* const*>(argv.data()), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    Fail("cannot start " + curl);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = SecondsSince(start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::ifstream messages(errors);
    std::string line;
    while (std::getline(messages, line)) {
      if (line.find("curl:") != std::string::npos) {
        std::fprintf(stderr, "%s\n", line.substr(line.find("curl:")).c_str());
      }
    }
    Fail("curl --parallel failed");
  }
  CheckFiles(folder, urls.size(), photoBytes, "curl --parallel");
  return seconds;
}

// Album-list answers for kUin: server 1 lists two albums, server 2 one album but late, servers 3
// and 4 none. Server 1 is chosen, so the fetch waits for the late probe and then asks server 1
// once more.
void ServeAlbumLists(const TempDir& fixtures) {
  const int albums[] = {2, 1, 0, 0};
  for (int server = 1; server <= kAlbumListServers; ++server) {
    const std::string folder = "alist" + std::to_string(server);
    std::filesystem::create_directories(fixtures.Path() / folder);
    std::string doc = "<?xml version=\"1.0\"?><list>";
    for (int i = 0; i < albums[server - 1]; ++i) {
      doc += "<album><id>s" + std::to_string(server) + "a" + std::to_string(i) +
             "</id><name>Album " + std::to_string(i) + "</name><total>3</total></album>";
    }
    const std::string file = folder + "/" + std::to_string(kUin) + ".xml";
    fixtures.Write(file, doc + "</list>");
    if (server == 2) {
      fixtures.Write(file + ".fault", "late");
    }
  }
}

// Photo lists of server 1's albums that answer 3 s late, for the window's run.
void ServeLatePhotoLists(const TempDir& fixtures, const LatentService& service) {
  const std::string folder = "p1/photos/" + std::to_string(kUin);
  std::filesystem::create_directories(fixtures.Path() / folder);
  for (const char* id : {"s1a0", "s1a1"}) {
    std::string doc = "<?xml version=\"1.0\"?><data>";
    for (int i = 0; i < 3; ++i) {
      doc += "<pic><name>p" + std::to_string(i) + "</name><origin_url>http://" +
             service.Host("img") + "/img/20000/" + id + std::to_string(i) +
             ".jpg</origin_url></pic>";
    }
    fixtures.Write(folder + "/" + id + ".xml", doc + "</data>");
    fixtures.Write(folder + "/" + id + ".xml.fault", "late");
  }
}

// The main window on the headless back end: the longest time between two rounds of its message
// loop while it reads the album list (server 2 answers 3 s late), and while it downloads two
// albums whose photo lists answer 3 s late.
std::pair<double, double> LongestLoopGapsMs(const std::filesystem::path& dir) {
  SetUiBackend(std::make_unique<HeadlessBackend>());
  SkinResources::SetFolder(ZP_SKIN_FOLDER);
  auto* window = new CZuPictrove;
  const HWND hwnd = window->Create(nullptr, L"DuRavuv", 0x10CF0000, 0, 0, 0, 600, 580);
  window->SetWorkFolder(Utf8ToWide((dir / "Res").string()) + L"/");
  double longest = 0;
  const auto pump = [&longest](const std::function<bool()>& done) {
    auto last = Clock::now();
    while (!done()) {
      WaitForPostedMessage(std::chrono::milliseconds(5));
      CPaintManagerUI::DispatchPostedMessages();
      const auto now = Clock::now();
      longest = std::max(longest, std::chrono::duration<double, std::milli>(now - last).count());
      last = now;
    }
  };
  window->m_paintManager.FindControl(L"edit_zu")->SetText(std::to_wstring(kUin));
  window->GetAlbumList();
  pump([window] { return !window->FetchInProgress(); });
  const double fetchGap = longest;
  CListUI* albums = window->AlbumList();
  if (albums->GetCount() != 2) {
    Fail("the window did not list server 1's albums");
  }
  for (int i = 0; i < 2; ++i) {
    static_cast<CAlbumListItemUI*>(albums->GetItemAt(i))->m_optSelect->Selected(true);
  }
  longest = 0;
  CControlUI* download = window->m_paintManager.FindControl(L"btn_down");
  TNotifyUI click{L"click", download};
  window->Notify(click);
  pump([download] { return download->GetText() == kCaptionDownload; });
  const double runGap = longest;
  ShutDownMainWindow(hwnd);
  SkinResources::Clear();
  SetUiBackend(nullptr);
  return {fetchGap, runGap};
}

double AlbumListSeconds(const std::wstring& workFolder) {
  const auto start = Clock::now();
  const AlbumListResult result = ReadAlbumList(workFolder, kUin);
  const double seconds = SecondsSince(start);
  if (result.albums.size() != 2 || result.photoHostLabel != PhotoHostLabel(1)) {
    Fail("the album list is not server 1's");
  }
  return seconds;
}

void PrintRatio(const char* label, double worker, const char* reference, double referenceSeconds,
                const char* goal) {
  std::printf("%-34s worker %7.3f s   %-22s %7.3f s   ratio %.3f   goal %s\n", label, worker,
              reference, referenceSeconds, worker / referenceSeconds, goal);
}

}  // namespace

int main() {
  SetProcessCodePage("UTF-8");
  TempDir fixtures;
  TempDir dir;
  UrlCache::SetDefaultRoot(dir.Path() / "cache");
  std::filesystem::create_directories(dir.Path() / "root");
  dir.Write("config.ini", "[info]\nconnections=" + std::to_string(kConnections) + "\n");
  auto settings = std::make_unique<DownloadSettings>(dir.Path() / "config.ini",
                                                     std::make_shared<HomeDriveProvider>());
  settings->WritePhotoDir(Utf8ToWide((dir.Path() / "root").string()));
  if (settings->ReadConnections() != kConnections) {
    Fail("config.ini does not give the worker " + std::to_string(kConnections) + " connections");
  }
  DownloadSettings::SetInstance(std::move(settings));
  AppState::Instance()->m_uin = kUin;
  ServeAlbumLists(fixtures);

  const std::optional<std::string> curl = FindCurl();
  const HWND window = CreateWindowHandle();
  CAlbumThread thread;
  thread.SetNotifyWindow(window);
  long workerPeakKiB = 0;

  const BenchAlbum small = {"300 photos of 100 KB", 300, 100 * 1024};
  const BenchAlbum big = {"10 photos of 20 MB, 200000 kbit/s", 10, 20 * 1024 * 1024};
  double smallWorker = 1e9;
  double smallParallel = 1e9;
  double smallSequential = 1e9;
  double bigWorker = 1e9;
  double bigParallel = 1e9;
  double listFetch = 1e9;
  std::pair<double, double> loopGaps;
  // One round of the worker and of curl --parallel over the same photos; the best time is kept.
  const auto workerAndCurl = [&](const std::vector<std::string>& urls, size_t photoBytes,
                                 double* worker, double* parallel) {
    *worker = std::min(*worker, WorkerSeconds(thread, window, dir, urls, &workerPeakKiB));
    if (curl) {
      *parallel =
          std::min(*parallel, CurlParallelSeconds(*curl, dir.Path() / "curl", urls, photoBytes));
    }
  };
  {
    const LatentService service(fixtures.Path(), kLatencyMs, 0);
    const std::vector<std::string> urls = PhotoAddresses(service, small);
    for (int round = 0; round < kRounds; ++round) {
      workerAndCurl(urls, small.photoBytes, &smallWorker, &smallParallel);
      smallSequential =
          std::min(smallSequential, CurlLoopSeconds(dir.Path() / "curl", urls, small.photoBytes));
    }

    SetService(service.AlbumListConfig());
    const std::wstring workFolder = Utf8ToWide((dir.Path() / "Res").string()) + L"/";
    for (int round = 0; round < kRounds; ++round) {
      listFetch = std::min(listFetch, AlbumListSeconds(workFolder));
    }
  }
  {
    const LatentService service(fixtures.Path(), kLatencyMs, kBigAlbumRateKbps);
    const std::vector<std::string> urls = PhotoAddresses(service, big);
    for (int round = 0; round < kRounds; ++round) {
      workerAndCurl(urls, big.photoBytes, &bigWorker, &bigParallel);
    }
  }
  std::filesystem::remove_all(dir.Path() / "curl");
  {
    // Last, as the window ends by abandoning every transfer and letting the settings go.
    const LatentService service(fixtures.Path(), kLatencyMs, 0);
    ServiceConfig config = service.AlbumListConfig();
    const std::string someHost = service.Host("p1");  // "p1.photo.localhost:<port>"
    config.photoListDomain = Utf8ToWide(someHost.substr(someHost.find('.') + 1));
    SetService(config);
    ServeLatePhotoLists(fixtures, service);
    loopGaps = LongestLoopGapsMs(dir.Path());
  }

  std::printf("round trip %d ms, %d connections, best of %d rounds\n", kLatencyMs, kConnections,
              kRounds);
  if (!curl) {
    std::printf("curl: no curl command-line tool on PATH, the ratios against it are skipped\n");
  }
  if (curl) {
    PrintRatio(small.label, smallWorker, "curl --parallel", smallParallel, "<= 1.15");
  } else {
    std::printf("%-34s worker %7.3f s   curl --parallel skipped\n", small.label, smallWorker);
  }
  PrintRatio(small.label, smallWorker, "libcurl one by one", smallSequential, "<= 0.35");
  if (curl) {
    PrintRatio(big.label, bigWorker, "curl --parallel", bigParallel, "<= 1.10");
  } else {
    std::printf("%-34s worker %7.3f s   curl --parallel skipped\n", big.label, bigWorker);
  }
  const double listReference = (kLateAnswerMs + kLatencyMs) / 1000.0;
  std::printf("%-34s fetch  %7.3f s   %-22s %7.3f s   ratio %.3f   goal <= 1.1\n",
              "album list, server 2 after 3 s", listFetch, "3 s + one round trip", listReference,
              listFetch / listReference);
  std::printf("%-34s %.1f ms   goal < 50 ms\n", "window loop's longest gap, fetch", loopGaps.first);
  std::printf("%-34s %.1f ms   goal < 50 ms\n", "window loop's longest gap, run", loopGaps.second);
  std::printf("%-34s %.1f MiB   goal < %.0f MiB\n", "worker peak resident memory",
              workerPeakKiB / 1024.0, kPeakGoalMiB);
  DestroyWindowHandle(window);
  DownloadSettings::Destroy();
  AppState::Destroy();
  return 0;
}
