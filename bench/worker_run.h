#pragma once

// What the benchmarks that time the download worker share: an album of the sample service's
// photos, and one timed run of the worker over it.

#include <cstddef>
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

// The addresses of the album's photos on the service.
std::vector<std::string> PhotoAddresses(const SampleServiceProcess& service,
                                        const BenchAlbum& album);

// Downloads `urls` with the worker into a new album folder under `dir`/root and returns the
// seconds it took; ends the program when not every photo was saved. Each run gets a folder of its
// own: emptying the last run's folder would be timed otherwise.
double TimedWorkerRun(CAlbumThread& worker, HWND window, const TempDir& dir,
                      const std::vector<std::string>& urls, int32_t uin);
