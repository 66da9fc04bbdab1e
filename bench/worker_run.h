#pragma once

// What the benchmarks that time the download worker share: an album of the sample service's
// photos, timed runs of the worker over it, and the plain libcurl loop they are measured against.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "download/album_thread.h"
#include "support/sample_service_process.h"
#include "support/temp_dir.h"

struct BenchAlbum {
  const char* label;
  int photos;
  size_t photoBytes;
};

// Ends the benchmark with `what` on standard error.
[[noreturn]] void BenchFail(const std::string& what);

// The addresses of the album's photos on the service.
std::vector<std::string> PhotoAddresses(const SampleServiceProcess& service,
                                        const BenchAlbum& album);

// The photo-list document of `urls` (the photos named photo0, photo1, ...) in `dir`/list.xml.
std::filesystem::path WritePhotoList(const TempDir& dir, const std::vector<std::string>& urls);

// Runs the worker over `urls` as the album `albumId` of `uin`, into the download root as it is
// (`dir`/root, what the settings name), and returns the seconds from the job's start until its
// thread has ended; ends the program unless the album completed with every photo there.
double TimedAlbumRun(CAlbumThread& worker, HWND window, const TempDir& dir,
                     const std::vector<std::string>& urls, int32_t uin, const std::string& albumId);

// A first run: downloads `urls` with the worker into a new, empty download root `dir`/root as an
// album never seen before, and returns the seconds it took; ends the program when not every
// photo was saved. Emptying the last run's root is not timed.
double TimedWorkerRun(CAlbumThread& worker, HWND window, const TempDir& dir,
                      const std::vector<std::string>& urls, int32_t uin);

// Fails unless `folder` holds `count` regular files of `bytes` bytes each.
void CheckFiles(const std::filesystem::path& folder, size_t count, size_t bytes, const char* who);

// The reference: one libcurl handle, reused (and so its connection), fetching one photo after
// another, each into its own file in the emptied `folder`; its seconds. Fails unless every photo
// came whole. With `flushEach`, each file is also flushed to the disk (fsync) once written.
double CurlLoopSeconds(const std::filesystem::path& folder, const std::vector<std::string>& urls,
                       size_t photoBytes, bool flushEach = false);
