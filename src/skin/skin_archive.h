#pragma once

// The skin file: the skin's ZIP archive, compressed with a byte-wise Huffman code.
//
//   offset 0     1 byte    carried through, not read
//   offset 1     1 byte    marker, rewritten at exit, not read
//   offset 2     2 bytes   carried through, not read
//   offset 4     int32 LE  decoded length
//   offset 8     256 x int32 LE weights, one per byte value, compared as signed numbers
//   offset 1032  to the end: the bitstream, bits taken from bit 0 up within each byte
//
// There is no count of bits: every byte to the end is decoded, symbols beyond the decoded length
// are dropped and output no symbol reached stays 0. The tree is part of the format: it is built
// from the weights by the rule of BuildSkinTree, whose tie-breaks decide every code.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

constexpr size_t kSkinHeaderBytes = 8;
constexpr size_t kSkinSymbols = 256;
constexpr size_t kSkinBitstreamOffset = kSkinHeaderBytes + kSkinSymbols * 4;  // 1032
// Largest decoded archive accepted; a larger length is refused as a failed decode, before anything
// is allocated. So is a length more than kSkinMaxExpansion times the file's size: a small file that
// declares a large archive can hold nothing but the repetition of one byte.
constexpr int64_t kSkinMaxDecodedBytes = 64 * 1024 * 1024;
constexpr int64_t kSkinMaxExpansion = 1024;
// Largest skin file read at all.
constexpr uintmax_t kSkinMaxFileBytes = 64u * 1024 * 1024;

struct SkinTreeNode {
  int32_t symbol = -1;            // byte value in a leaf, -1 in an inner node
  int32_t weight = 0;             // the leaf's weight, or the wrapped sum of the children's
  SkinTreeNode* left = nullptr;   // taken on a 0 bit
  SkinTreeNode* right = nullptr;  // taken on a 1 bit

  bool IsLeaf() const { return symbol != -1; }
};

// All 511 nodes of one decoding tree; the nodes live as long as the tree.
class SkinTree {
 public:
  SkinTree() = default;
  SkinTree(const SkinTree&) = delete;
  SkinTree& operator=(const SkinTree&) = delete;
  SkinTree(SkinTree&&) = default;
  SkinTree& operator=(SkinTree&&) = default;

  const SkinTreeNode* Root() const { return m_root; }
  const SkinTreeNode* Nodes() const { return m_nodes.data(); }

 private:
  friend SkinTree BuildSkinTree(const int32_t (&weights)[kSkinSymbols]);
  std::vector<SkinTreeNode> m_nodes;
  SkinTreeNode* m_root = nullptr;
};

// Builds the tree: 256 leaves in symbol order form the work list; while it holds more than one
// node, take out the first node of smallest weight (A), then again (B), and append an inner node
// with weight A + B (wrapping), left A, right B.
SkinTree BuildSkinTree(const int32_t (&weights)[kSkinSymbols]);

// The reference decoder: walks the tree bit by bit over bytes [start, fileLength).
std::vector<uint8_t> DecodeSkinBits(const uint8_t* file, size_t start, size_t fileLength,
                                    const SkinTreeNode* root, int32_t decodedLength);

// The same output as DecodeSkinBits, several times faster: a table over the next bits finds
// short codes in one step; longer codes continue on the tree.
std::vector<uint8_t> DecodeSkinBitsFast(const uint8_t* file, size_t start, size_t fileLength,
                                        const SkinTree& tree, int32_t decodedLength);

enum class SkinDecoder { kTable, kTreeWalk };

// Decodes a whole skin file. Nothing for a file shorter than the header and weights, or a decoded
// length of 0 or less, above kSkinMaxDecodedBytes or above kSkinMaxExpansion times the file size.
// `decodedLength` gets the stored length.
std::optional<std::vector<uint8_t>> DecodeSkinArchive(std::string_view file, int32_t* decodedLength,
                                                      SkinDecoder decoder = SkinDecoder::kTable);

// The weight table and decoded length as stored in a skin file of at least 1032 bytes.
int32_t SkinDecodedLength(std::string_view file);
void SkinWeights(std::string_view file, int32_t (&weights)[kSkinSymbols]);
