// Decodes one skin file of several MiB with the tree walk and with the table decoder, in one run,
// and prints the speed of each and their ratio. The file mixes what a skin archive holds:
// compressed image data (nearly uniform bytes), layout text, and runs of repeated bytes.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "skin/skin_archive.h"
#include "skin_encoder.h"

namespace {

std::string MakeArchive(size_t size) {
  std::mt19937 random(12345);
  std::string archive;
  archive.reserve(size);
  const std::string text =
      "<Button name=\"btn_get\" text=\"获取相册\" width=\"96\" height=\"30\" "
      "textcolor=\"#FF333333\"/>\n";
  while (archive.size() < size) {
    const unsigned kind = random() % 10;
    const size_t run = 512 + random() % 4096;
    for (size_t i = 0; i < run && archive.size() < size; ++i) {
      if (kind < 7) {
        archive.push_back(static_cast<char>(random()));  // compressed data
      } else if (kind < 9) {
        archive.push_back(text[i % text.size()]);
      } else {
        archive.push_back(static_cast<char>(i % 3 == 0 ? random() % 4 : 0));
      }
    }
  }
  return archive;
}

double SecondsToDecode(const std::string& file, SkinDecoder decoder, int rounds) {
  double best = 1e9;
  for (int round = 0; round < rounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    int32_t length = 0;
    const auto archive = DecodeSkinArchive(file, &length, decoder);
    const auto stop = std::chrono::steady_clock::now();
    if (!archive) {
      std::fprintf(stderr, "decode failed\n");
      std::exit(1);
    }
    best = std::min(best, std::chrono::duration<double>(stop - start).count());
  }
  return best;
}

}  // namespace

int main() {
  const size_t size = 8 * 1024 * 1024;
  const std::string archive = MakeArchive(size);
  const std::string file = EncodeSkinFile(archive);

  int32_t length = 0;
  const auto walk = DecodeSkinArchive(file, &length, SkinDecoder::kTreeWalk);
  const auto fast = DecodeSkinArchive(file, &length, SkinDecoder::kTable);
  if (!walk || !fast || *walk != *fast || std::string(walk->begin(), walk->end()) != archive) {
    std::fprintf(stderr, "the decoders disagree\n");
    return 1;
  }

  const double walkSeconds = SecondsToDecode(file, SkinDecoder::kTreeWalk, 5);
  const double fastSeconds = SecondsToDecode(file, SkinDecoder::kTable, 5);
  const double megabytes = static_cast<double>(size) / (1024.0 * 1024.0);
  std::printf("skin file: %.1f MiB decoded from %.1f MiB\n", megabytes,
              static_cast<double>(file.size()) / (1024.0 * 1024.0));
  std::printf("tree walk: %8.1f MB/s\n", megabytes / walkSeconds);
  std::printf("table:     %8.1f MB/s\n", megabytes / fastSeconds);
  std::printf("ratio table / tree walk: %.2f\n", walkSeconds / fastSeconds);
  return 0;
}
