#include "skin/skin_archive.h"

#include <cstring>

SkinTree BuildSkinTree(const int32_t (&weights)[kSkinSymbols]) {
  SkinTree tree;
  tree.m_nodes.resize(2 * kSkinSymbols - 1);
  std::vector<SkinTreeNode*> work;
  work.reserve(kSkinSymbols);
  for (size_t i = 0; i < kSkinSymbols; ++i) {
    SkinTreeNode& leaf = tree.m_nodes[i];
    leaf.symbol = static_cast<int32_t>(i);
    leaf.weight = weights[i];
    work.push_back(&leaf);
  }
  // A plain linear scan: the first node of smallest weight wins, so ties go to the front of the
  // list, where leaves (in symbol order) stand before inner nodes (in order of creation).
  auto takeLightest = [&work]() {
    size_t best = 0;
    for (size_t i = 1; i < work.size(); ++i) {
      if (work[i]->weight < work[best]->weight) {
        best = i;
      }
    }
    SkinTreeNode* node = work[best];
    work.erase(work.begin() + static_cast<std::ptrdiff_t>(best));
    return node;
  };
  size_t next = kSkinSymbols;
  while (work.size() > 1) {
    SkinTreeNode* a = takeLightest();
    SkinTreeNode* b = takeLightest();
    SkinTreeNode& inner = tree.m_nodes[next++];
    inner.symbol = -1;
    inner.weight =
        static_cast<int32_t>(static_cast<uint32_t>(a->weight) + static_cast<uint32_t>(b->weight));
    inner.left = a;
    inner.right = b;
    work.push_back(&inner);
  }
  tree.m_root = work.front();
  return tree;
}

std::vector<uint8_t> DecodeSkinBits(const uint8_t* file, size_t start, size_t fileLength,
                                    const SkinTreeNode* root, int32_t decodedLength) {
  const size_t outSize = decodedLength > 0 ? static_cast<size_t>(decodedLength) : 0;
  std::vector<uint8_t> out(outSize, 0);
  size_t count = 0;
  const SkinTreeNode* node = root;
  for (size_t i = start; i < fileLength; ++i) {
    const uint8_t byte = file[i];
    for (int bit = 0; bit < 8; ++bit) {
      node = ((byte >> bit) & 1) != 0 ? node->right : node->left;
      if (node->IsLeaf()) {
        if (count < outSize) {
          out[count++] = static_cast<uint8_t>(node->symbol);
        }
        node = root;
      }
    }
  }
  return out;
}

namespace {

uint32_t ReadLe32(std::string_view file, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value = (value << 8) | static_cast<uint8_t>(file[offset + static_cast<size_t>(i)]);
  }
  return value;
}

}  // namespace

int32_t SkinDecodedLength(std::string_view file) {
  return static_cast<int32_t>(ReadLe32(file, 4));
}

void SkinWeights(std::string_view file, int32_t (&weights)[kSkinSymbols]) {
  for (size_t i = 0; i < kSkinSymbols; ++i) {
    weights[i] = static_cast<int32_t>(ReadLe32(file, kSkinHeaderBytes + 4 * i));
  }
}

std::optional<std::vector<uint8_t>> DecodeSkinArchive(std::string_view file, int32_t* decodedLength,
                                                      SkinDecoder decoder) {
  if (file.size() < kSkinBitstreamOffset) {
    return std::nullopt;
  }
  const int32_t length = SkinDecodedLength(file);
  if (decodedLength != nullptr) {
    *decodedLength = length;
  }
  if (length <= 0 || length > kSkinMaxDecodedBytes ||
      length > kSkinMaxExpansion * static_cast<int64_t>(file.size())) {
    return std::nullopt;
  }
  int32_t weights[kSkinSymbols];
  SkinWeights(file, weights);
  const SkinTree tree = BuildSkinTree(weights);
  const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
  if (decoder == SkinDecoder::kTreeWalk) {
    return DecodeSkinBits(bytes, kSkinBitstreamOffset, file.size(), tree.Root(), length);
  }
  return DecodeSkinBitsFast(bytes, kSkinBitstreamOffset, file.size(), tree, length);
}
