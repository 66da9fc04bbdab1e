// The table decoder of the skin bitstream.
//
// A table indexed by the next kTableBits bits of the stream (bit 0 of the index is the next bit)
// holds, for every code of at most kTableBits bits, its symbol and length. An index whose bits
// do not reach a leaf holds the tree node reached after kTableBits bits, and decoding continues
// there bit by bit: codes of zero-weight leaves can be up to 255 bits long. Near the end of the
// stream, where fewer than 8 whole bytes are left, the tree walk finishes the job, so the output
// is always the reference decoder's.

#include <bit>
#include <cstring>

#include "skin/skin_archive.h"

static_assert(std::endian::native == std::endian::little, "the decoder loads bits little-endian");

namespace {

constexpr unsigned kTableBits = 10;
constexpr uint64_t kTableMask = (uint64_t{1} << kTableBits) - 1;
// Table steps between two refills of the bit buffer, which holds at least 56 bits after one.
constexpr unsigned kSymbolsPerRefill = 56 / kTableBits;

struct TableEntry {
  uint16_t value;  // the symbol of a leaf, or the index of the node to continue from
  uint8_t bits;    // bits consumed
  uint8_t isLeaf;
};

void BuildTable(const SkinTree& tree, TableEntry* table) {
  const SkinTreeNode* nodes = tree.Nodes();
  for (uint32_t index = 0; index <= kTableMask; ++index) {
    const SkinTreeNode* node = tree.Root();
    unsigned bits = 0;
    while (bits < kTableBits && !node->IsLeaf()) {
      node = ((index >> bits) & 1) != 0 ? node->right : node->left;
      ++bits;
    }
    if (node->IsLeaf()) {
      table[index] = {static_cast<uint16_t>(node->symbol), static_cast<uint8_t>(bits), 1};
    } else {
      table[index] = {static_cast<uint16_t>(node - nodes), static_cast<uint8_t>(bits), 0};
    }
  }
}

inline unsigned BitAt(const uint8_t* data, uint64_t pos) {
  return (data[pos >> 3] >> (pos & 7)) & 1;
}

}  // namespace

std::vector<uint8_t> DecodeSkinBitsFast(const uint8_t* file, size_t start, size_t fileLength,
                                        const SkinTree& tree, int32_t decodedLength) {
  const size_t outSize = decodedLength > 0 ? static_cast<size_t>(decodedLength) : 0;
  std::vector<uint8_t> out(outSize, 0);
  if (fileLength <= start || outSize == 0) {
    return out;
  }
  TableEntry table[kTableMask + 1];
  BuildTable(tree, table);

  const uint8_t* data = file + start;
  const size_t byteCount = fileLength - start;
  const uint64_t totalBits = static_cast<uint64_t>(byteCount) * 8;
  const SkinTreeNode* nodes = tree.Nodes();
  const SkinTreeNode* root = tree.Root();
  uint8_t* output = out.data();
  size_t count = 0;
  uint64_t pos = 0;

  // Symbols beyond the decoded length would be dropped, so decoding stops once the output is
  // full.
  //
  // The main loop keeps the next bits in a 64-bit buffer that one unaligned load refills to at
  // least 56 bits, enough for four table lookups in a row. A long code leaves the loop for one
  // symbol: the tree walk takes it from its first bit, and the buffer starts afresh after it.
  const uint8_t* end = data + byteCount;
  const uint8_t* next = data;
  uint64_t buffer = 0;
  unsigned buffered = 0;
  while (outSize - count >= kSymbolsPerRefill && end - next >= 8) {
    uint64_t word;
    std::memcpy(&word, next, sizeof(word));
    buffer |= word << buffered;
    next += (63 - buffered) >> 3;
    buffered |= 56;
    for (unsigned i = 0; i < kSymbolsPerRefill; ++i) {
      const TableEntry entry = table[buffer & kTableMask];
      if (!entry.isLeaf) {
        pos = static_cast<uint64_t>(next - data) * 8 - buffered;
        const SkinTreeNode* node = root;
        while (!node->IsLeaf() && pos < totalBits) {
          node = BitAt(data, pos++) != 0 ? node->right : node->left;
        }
        if (!node->IsLeaf()) {
          return out;  // the stream ended inside a code
        }
        output[count++] = static_cast<uint8_t>(node->symbol);
        // Start the buffer afresh at pos: the byte holding pos is loaded with the seven after it
        // and the bits before pos are shifted out. Without 8 bytes left, the tail loops go on.
        next = data + (pos >> 3);
        if (end - next < 8) {
          goto tail;
        }
        std::memcpy(&buffer, next, sizeof(buffer));
        next += 7;
        buffer >>= (pos & 7);
        buffered = 56 - static_cast<unsigned>(pos & 7);
        break;
      }
      output[count++] = static_cast<uint8_t>(entry.value);
      buffer >>= entry.bits;
      buffered -= entry.bits;
    }
  }
  pos = static_cast<uint64_t>(next - data) * 8 - buffered;

tail:
  // Near the end: one table step at a time while 8 whole bytes remain, then the tree walk.
  while (count < outSize && (pos >> 3) + 8 <= byteCount) {
    uint64_t word;
    std::memcpy(&word, data + (pos >> 3), sizeof(word));
    word >>= (pos & 7);
    const TableEntry entry = table[word & kTableMask];
    pos += entry.bits;
    if (entry.isLeaf) {
      output[count++] = static_cast<uint8_t>(entry.value);
      continue;
    }
    const SkinTreeNode* node = nodes + entry.value;
    while (!node->IsLeaf() && pos < totalBits) {
      node = BitAt(data, pos++) != 0 ? node->right : node->left;
    }
    if (!node->IsLeaf()) {
      return out;
    }
    output[count++] = static_cast<uint8_t>(node->symbol);
  }

  const SkinTreeNode* node = root;
  while (count < outSize && pos < totalBits) {
    node = BitAt(data, pos++) != 0 ? node->right : node->left;
    if (node->IsLeaf()) {
      output[count++] = static_cast<uint8_t>(node->symbol);
      node = root;
    }
  }
  return out;
}
