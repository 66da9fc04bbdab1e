// Feeds arbitrary bytes to the skin file decoder and checks that the table decoder and the tree
// walk agree byte for byte. Inputs too short for a skin file are also tried as the bitstream of a
// file whose weights are made from their first bytes, so that short inputs reach the decoders.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "require.h"
#include "skin/skin_archive.h"

namespace {

// Decoded lengths are kept small so that each run stays fast.
constexpr uint32_t kMaxFuzzDecodedBytes = 1 << 16;

void PutLe32(std::string& file, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) {
    file[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

void DecodeBoth(const std::string& file) {
  int32_t walkLength = 0;
  int32_t tableLength = 0;
  const auto walk = DecodeSkinArchive(file, &walkLength, SkinDecoder::kTreeWalk);
  const auto table = DecodeSkinArchive(file, &tableLength, SkinDecoder::kTable);
  Require(walk.has_value() == table.has_value());
  Require(walkLength == tableLength);
  if (walk) {
    Require(*walk == *table);
    Require(walk->size() == static_cast<size_t>(walkLength));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string file(reinterpret_cast<const char*>(data), size);
  if (file.size() >= kSkinBitstreamOffset) {
    const int32_t length = SkinDecodedLength(file);
    if (length > 0 && static_cast<uint32_t>(length) > kMaxFuzzDecodedBytes) {
      PutLe32(file, 4, static_cast<uint32_t>(length) % kMaxFuzzDecodedBytes);
    }
    DecodeBoth(file);
    return 0;
  }

  DecodeBoth(file);  // refused: too short
  if (size < 2) {
    return 0;
  }
  std::string made(kSkinBitstreamOffset, '\0');
  PutLe32(made, 4, (static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8) + 1);
  const size_t weightBytes = std::min<size_t>(size - 2, 64);
  for (size_t i = 0; i < kSkinSymbols && weightBytes > 0; ++i) {
    // Spread signed byte values over the weight range, negative ones and zeros included.
    const int8_t seed = static_cast<int8_t>(data[2 + i % weightBytes]);
    const uint32_t weight =
        static_cast<uint32_t>(static_cast<int32_t>(seed)) * (i % 3 == 0 ? 0x01000193u : 1u);
    PutLe32(made, kSkinHeaderBytes + 4 * i, weight);
  }
  made.append(file);
  DecodeBoth(made);
  return 0;
}
