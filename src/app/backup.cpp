#include "app/backup.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/album_list_fetch.h"
#include "catalogue/app_messages.h"
#include "catalogue/service_config.h"
#include "catalogue/web_cache.h"
#include "download/album_thread.h"
#include "download/download_settings.h"
#include "platform/app_paths.h"
#include "platform/code_page.h"
#include "platform/posted_messages.h"

namespace {

using Clock = std::chrono::steady_clock;

// One album of the backup.
struct Planned {
  const AlbumRecord* album;
  AlbumJob job;
};

class Progress {
 public:
  explicit Progress(bool terminal) : m_terminal(terminal) {}

  void Begin(const std::string& name, int32_t total) {
    m_name = name;
    m_total = total;
    m_saved = 0;
    m_start = Clock::now();
    if (!m_terminal) {
      std::printf("%s: %d photos\n", name.c_str(), total);
      std::fflush(stdout);
    }
  }

  void Present(int32_t present, uintmax_t bytes) {
    m_saved = present;
    if (m_terminal) {
      std::printf("\r\033[K%s", Line(bytes).c_str());
      std::fflush(stdout);
    }
  }

  // A line of its own in place of the album's progress.
  void Say(const std::string& text) {
    if (m_terminal) {
      std::printf("\r\033[K");
    }
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  }

  // The album's last line. A stopped album's photos not fetched yet have not failed: they are
  // not counted as such.
  void End(const std::string& outcome, const AlbumCounts& counts, bool stopped) {
    if (m_terminal) {
      std::printf("\r\033[K");
    }
    m_saved = counts.kept + counts.saved;
    const std::string reason = counts.archiveError.empty() ? "" : ": " + counts.archiveError;
    if (stopped) {
      std::printf("%s  %s%s (%d new, %d already there)\n", Line(counts.savedBytes).c_str(),
                  outcome.c_str(), reason.c_str(), counts.saved, counts.kept);
    } else {
      std::printf("%s  %s%s (%d new, %d already there, %d failed)\n",
                  Line(counts.savedBytes).c_str(), outcome.c_str(), reason.c_str(), counts.saved,
                  counts.kept, counts.failed);
    }
    std::fflush(stdout);
  }

 private:
  std::string Line(uintmax_t bytes) const {
    const double seconds =
        std::max(1e-3, std::chrono::duration<double>(Clock::now() - m_start).count());
    char text[256];
    std::snprintf(text, sizeof(text), "%s: %d/%d photos, %.1f MB, %.1f MB/s", m_name.c_str(),
                  m_saved, m_total, bytes / 1e6, bytes / 1e6 / seconds);
    return text;
  }

  bool m_terminal;
  std::string m_name;
  int32_t m_total = 0;
  int32_t m_saved = 0;
  Clock::time_point m_start;
};

std::string OutcomeText(AlbumOutcome outcome, int32_t failed) {
  switch (outcome) {
    case AlbumOutcome::kCompleted:
      return "completed";
    case AlbumOutcome::kSomeFailed:
      return std::to_string(failed) + " photos failed";
    case AlbumOutcome::kListFailed:
      return "its photo list could not be read";
    case AlbumOutcome::kPageNotFound:
      return "its page is not in the web cache";
    case AlbumOutcome::kStopped:
      return "stopped";
    case AlbumOutcome::kInUse:
      return "in use by another copy of zupictrove";
    case AlbumOutcome::kArchiveFailed:
      return "the download archive could not be read or written";
    case AlbumOutcome::kSkipped:
      break;
  }
  return "skipped";
}

// Waits for the worker's end of the album, showing its progress; stops it when `running` drops.
AlbumOutcome Follow(CAlbumThread& worker, HWND window, const std::atomic<uint8_t>& running,
                    Progress* progress, int32_t* failed) {
  while (true) {
    if (running == 0) {
      worker.Stop();
    }
    WaitForPostedMessage(std::chrono::milliseconds(100));
    for (const PostedMessage& message : TakePostedMessages()) {
      if (message.hwnd != window) {
        continue;
      }
      if (message.message == WM_PHOTO_SAVED) {
        progress->Present(static_cast<int32_t>(message.lParam), worker.SavedBytesSoFar());
      } else if (message.message == WM_ALBUM_DONE) {
        worker.Join();
        *failed = FailedOfParam(message.lParam);
        return OutcomeOfParam(message.lParam);
      }
    }
  }
}

}  // namespace

std::wstring CommandLineRoot(const CommandLine& line, bool make) {
  if (line.outFolder.empty()) {
    return DownloadSettings::Shared()->GetDownloadRoot();
  }
  std::error_code ec;
  if (make) {
    std::filesystem::create_directories(line.outFolder, ec);
  }
  if (!std::filesystem::is_directory(line.outFolder, ec)) {
    std::fprintf(
        stderr,
        make ? "zupictrove: cannot make the folder %s\n" : "zupictrove: there is no folder %s\n",
        line.outFolder.c_str());
    return {};
  }
  std::wstring root =
      Utf8ToWide(std::filesystem::absolute(line.outFolder, ec).lexically_normal().string());
  while (root.size() > 1 && root.back() == L'/') {
    root.pop_back();
  }
  return root;
}

int RunBackup(const CommandLine& line, const std::atomic<uint8_t>& running) {
  std::shared_ptr<DownloadSettings> settings = DownloadSettings::Shared();
  const std::wstring root = CommandLineRoot(line, true);
  if (root.empty()) {
    return kBadArguments;
  }
  const std::wstring workFolder = Utf8ToWide(WorkFolder().string());

  const AlbumListResult list = ReadAlbumList(workFolder, line.uin, &running);
  if (running == 0) {
    return kBackupIncomplete;
  }
  if (list.albums.empty()) {
    std::fprintf(stderr,
                 "zupictrove: no album list for %d (the service lists none, or it needs "
                 "signing in first: sign in in the window)\n",
                 line.uin);
    return kBackupIncomplete;
  }
  // The albums asked for, in list order; an id the list does not hold is an album not completed.
  std::vector<const AlbumRecord*> chosen;
  int notCompleted = 0;
  for (const auto& album : list.albums) {
    if (line.albumIds.empty() || std::find(line.albumIds.begin(), line.albumIds.end(),
                                           album->m_albumId) != line.albumIds.end()) {
      chosen.push_back(album.get());
    }
  }
  for (const std::string& id : line.albumIds) {
    if (std::none_of(chosen.begin(), chosen.end(),
                     [&id](const AlbumRecord* album) { return album->m_albumId == id; })) {
      std::printf("%s: no such album\n", id.c_str());
      ++notCompleted;
    }
  }

  const HWND window = CreateWindowHandle();
  CAlbumThread worker;
  worker.SetNotifyWindow(window);
  Progress progress(isatty(STDOUT_FILENO) != 0);
  int completed = 0;
  for (const AlbumRecord* album : chosen) {
    if (running == 0) {
      ++notCompleted;
      continue;
    }
    AlbumJob job;
    if (album->m_hasPassword != 0) {
      std::wstring page;
      FindCachedUrl(&page, AlbumPagePattern(line.uin, AnsiToWide(album->m_albumId)));
      if (page.empty()) {
        std::printf(
            "%s: skipped: a password album whose page is not in the web cache (open it "
            "in the window once)\n",
            album->m_name.c_str());
        ++notCompleted;
        continue;
      }
      job = CachedAlbumJob(*album, line.uin, page, 1);
    } else {
      job = ListedAlbumJob(*album, line.uin, list.photoHostLabel, workFolder, 1);
    }
    job.connections = line.connections;
    job.downloadRoot = root;
    progress.Begin(album->m_name, album->m_photoCount);
    worker.StartAlbum(job);
    int32_t failed = 0;
    const AlbumOutcome outcome = Follow(worker, window, running, &progress, &failed);
    if (outcome == AlbumOutcome::kInUse) {
      progress.Say(album->m_name + ": in use by another copy of zupictrove");
    } else {
      progress.End(OutcomeText(outcome, failed), worker.LastCounts(),
                   outcome == AlbumOutcome::kStopped);
    }
    if (outcome == AlbumOutcome::kCompleted) {
      ++completed;
    } else {
      ++notCompleted;
    }
  }
  DestroyWindowHandle(window);
  std::printf("%d albums completed, %d not\n", completed, notCompleted);
  return notCompleted == 0 ? kBackupComplete : kBackupIncomplete;
}
