// Loads hostile XML documents from files as album lists are loaded, and prints for each the time to
// refuse it and the peak resident memory on the way, beside the same for a normal document of the
// same size (of the cap, for a hostile document over every cap), and their ratios. Each measurement
// runs in a child process of its own, so that its peak memory is its own and nothing one case
// leaves behind counts for the next.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/xml_file.h"

namespace {

using Maker = std::function<std::string()>;

struct Measure {
  bool loaded = false;
  double seconds = 0;
  long peakKb = 0;   // VmHWM while loading once
  long extraKb = 0;  // that peak over what was resident before
};

std::string Repeat(const std::string& unit, size_t times) {
  std::string out;
  out.reserve(unit.size() * times);
  for (size_t i = 0; i < times; ++i) {
    out += unit;
  }
  return out;
}

// An album list of exactly `bytes` bytes, of entries such as the service sends.
std::string NormalAlbumList(size_t bytes) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<data>\n";
  const std::string end = "</data>\n";
  for (int i = 0;; ++i) {
    char entry[160];
    std::snprintf(entry, sizeof entry,
                  "<album><id>V1234567890a%05d</id><name>春游 第%05d册 海边</name>"
                  "<total>3</total></album>\n",
                  i, i);
    if (out.size() + std::strlen(entry) + end.size() > bytes) {
      break;
    }
    out += entry;
  }
  out.append(bytes - out.size() - end.size(), ' ');
  return out + end;
}

std::string ElementWithAttributes(int count) {
  std::string out = "<r";
  for (int i = 0; i < count; ++i) {
    out += " a" + std::to_string(i) + "=''";
  }
  return out + "/>";
}

long StatusKb(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const size_t length = std::strlen(key);
  while (std::getline(status, line)) {
    if (line.compare(0, length, key) == 0) {
      return std::atol(line.c_str() + length);
    }
  }
  return -1;
}

// Resets the peak resident size of the process to what is resident now.
void ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

// In a child process: writes the document to a file, loads it once for the peak memory and then
// `rounds` times for the best time.
Measure MeasureLoad(const Maker& make, size_t cap, int rounds) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) {
    std::perror("pipe");
    std::exit(1);
  }
  const pid_t child = fork();
  if (child == 0) {
    close(pipeEnds[0]);
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("zp-hostile-" + std::to_string(getpid()) + ".xml");
    {
      const std::string text = make();
      std::ofstream(path, std::ios::binary)
          .write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    Measure measure;
    ResetPeak();
    const long before = StatusKb("VmRSS:");
    {
      TiXmlDocument doc;
      measure.loaded = LoadXmlFile(path, cap, doc);
    }
    measure.peakKb = StatusKb("VmHWM:");
    measure.extraKb = measure.peakKb - before;
    measure.seconds = 1e9;
    for (int round = 0; round < rounds; ++round) {
      const auto start = std::chrono::steady_clock::now();
      TiXmlDocument doc;
      LoadXmlFile(path, cap, doc);
      const auto stop = std::chrono::steady_clock::now();
      measure.seconds =
          std::min(measure.seconds, std::chrono::duration<double>(stop - start).count());
    }
    std::filesystem::remove(path);
    const ssize_t written = write(pipeEnds[1], &measure, sizeof measure);
    _exit(written == static_cast<ssize_t>(sizeof measure) ? 0 : 1);
  }
  close(pipeEnds[1]);
  Measure measure;
  const ssize_t got = read(pipeEnds[0], &measure, sizeof measure);
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (got != static_cast<ssize_t>(sizeof measure) || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "the measuring process failed (status %d)\n", status);
    std::exit(1);
  }
  return measure;
}

double Mib(long kb) {
  return static_cast<double>(kb) / 1024.0;
}

int failures = 0;

void Compare(const char* hostileName, const Maker& hostile, size_t hostileBytes,
             const char* normalName, const Maker& normal, size_t normalBytes, size_t cap,
             int rounds) {
  const Measure refused = MeasureLoad(hostile, cap, rounds);
  const Measure read = MeasureLoad(normal, cap, rounds);
  std::printf("%s, %zu bytes, cap %zu: %s in %.3f ms, peak %.1f MiB (+%.1f MiB)\n", hostileName,
              hostileBytes, cap, refused.loaded ? "READ (expected a refusal)" : "refused",
              refused.seconds * 1e3, Mib(refused.peakKb), Mib(refused.extraKb));
  std::printf("  %s, %zu bytes: %s in %.3f ms, peak %.1f MiB (+%.1f MiB)\n", normalName,
              normalBytes, read.loaded ? "read" : "REFUSED (expected it read)", read.seconds * 1e3,
              Mib(read.peakKb), Mib(read.extraKb));
  std::printf(
      "  refused / read: time %.3g, added memory %.3g\n\n", refused.seconds / read.seconds,
      static_cast<double>(refused.extraKb) / static_cast<double>(std::max(read.extraKb, 1L)));
  if (refused.loaded || !read.loaded) {
    ++failures;
  }
}

}  // namespace

int main() {
  const std::string referenceUnit = "<a>&#</a>#;";
  const size_t referenceBytes = 6 + referenceUnit.size() * 100000 + 7;
  Compare(
      "\"&#\" list (100000 x <a>&#</a>#;)",
      [&] { return "<list>" + Repeat(referenceUnit, 100000) + "</list>"; }, referenceBytes,
      "normal album list", [&] { return NormalAlbumList(referenceBytes); }, referenceBytes,
      kMaxAlbumListBytes, 20);

  const size_t attributesBytes = ElementWithAttributes(40000).size();
  Compare(
      "40000 attributes on one element", [] { return ElementWithAttributes(40000); },
      attributesBytes, "normal album list", [&] { return NormalAlbumList(attributesBytes); },
      attributesBytes, kMaxAlbumListBytes, 20);

  const size_t hugeBytes = 64u * 1024 * 1024;
  Compare(
      "64 MiB of <a/> as an album list", [&] { return Repeat("<a/>", hugeBytes / 4); }, hugeBytes,
      "normal album list at the cap", [] { return NormalAlbumList(kMaxAlbumListBytes); },
      kMaxAlbumListBytes, kMaxAlbumListBytes, 5);

  Compare(
      "album list one byte over the cap", [] { return NormalAlbumList(kMaxAlbumListBytes + 1); },
      kMaxAlbumListBytes + 1, "normal album list at the cap",
      [] { return NormalAlbumList(kMaxAlbumListBytes); }, kMaxAlbumListBytes, kMaxAlbumListBytes,
      5);

  const size_t nodesBytes = 4 * (kMaxXmlNodes + 1);
  Compare(
      "200001 x <a/> (one node over the bound)", [] { return Repeat("<a/>", kMaxXmlNodes + 1); },
      nodesBytes, "normal album list", [&] { return NormalAlbumList(nodesBytes); }, nodesBytes,
      kMaxAlbumListBytes, 20);

  if (failures > 0) {
    std::fprintf(stderr, "%d case(s) did not end as expected\n", failures);
    return 1;
  }
  return 0;
}
