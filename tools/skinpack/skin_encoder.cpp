#include "skin_encoder.h"

#include <zip.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace {

// The code of every symbol: the path from the root, 0 for left and 1 for right.
void CollectCodes(const SkinTreeNode* node, std::vector<bool>& path,
                  std::vector<std::vector<bool>>& codes) {
  if (node->IsLeaf()) {
    codes[static_cast<size_t>(node->symbol)] = path;
    return;
  }
  path.push_back(false);
  CollectCodes(node->left, path, codes);
  path.back() = true;
  CollectCodes(node->right, path, codes);
  path.pop_back();
}

void PutLe32(std::string& out, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) {
    out[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

}  // namespace

std::string EncodeSkinFileWithWeights(std::string_view archive,
                                      const int32_t (&weights)[kSkinSymbols],
                                      int32_t decodedLength) {
  std::string file(kSkinBitstreamOffset, '\0');
  file[1] = static_cast<char>(kSkinFileMarker);
  PutLe32(file, 4, static_cast<uint32_t>(decodedLength));
  for (size_t i = 0; i < kSkinSymbols; ++i) {
    PutLe32(file, kSkinHeaderBytes + 4 * i, static_cast<uint32_t>(weights[i]));
  }

  const SkinTree tree = BuildSkinTree(weights);
  std::vector<std::vector<bool>> codes(kSkinSymbols);
  std::vector<bool> path;
  CollectCodes(tree.Root(), path, codes);

  uint8_t current = 0;
  int used = 0;
  for (char c : archive) {
    for (bool bit : codes[static_cast<uint8_t>(c)]) {
      current |= static_cast<uint8_t>(bit ? 1 : 0) << used;
      if (++used == 8) {
        file.push_back(static_cast<char>(current));
        current = 0;
        used = 0;
      }
    }
  }
  if (used > 0) {
    file.push_back(static_cast<char>(current));
  }
  return file;
}

std::string EncodeSkinFile(std::string_view archive) {
  int32_t weights[kSkinSymbols] = {};
  for (char c : archive) {
    ++weights[static_cast<uint8_t>(c)];
  }
  return EncodeSkinFileWithWeights(archive, weights, static_cast<int32_t>(archive.size()));
}

std::optional<std::string> ZipFolder(const std::filesystem::path& folder, std::string* error) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file()) {
      files.push_back(std::filesystem::relative(it->path(), folder));
    }
  }
  if (ec) {
    *error = "cannot list " + folder.string() + ": " + ec.message();
    return std::nullopt;
  }
  std::sort(files.begin(), files.end());

  zip_error_t zipError;
  zip_error_init(&zipError);
  zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &zipError);
  zip_t* archive =
      target != nullptr ? zip_open_from_source(target, ZIP_TRUNCATE, &zipError) : nullptr;
  if (archive == nullptr) {
    *error = zip_error_strerror(&zipError);
    zip_source_free(target);
    zip_error_fini(&zipError);
    return std::nullopt;
  }
  zip_source_keep(target);

  std::vector<std::string> contents;  // alive until the archive is written
  contents.reserve(files.size());
  std::tm stamp = {};
  stamp.tm_year = 120;  // 2020-01-01, a fixed time for reproducible archives
  stamp.tm_mday = 1;
  const time_t fixedTime = timegm(&stamp);
  bool ok = true;
  for (const std::filesystem::path& relative : files) {
    std::ifstream in(folder / relative, std::ios::binary);
    if (!in.is_open()) {
      *error = "cannot read " + relative.generic_string();
      ok = false;
      break;
    }
    contents.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    zip_source_t* source =
        zip_source_buffer(archive, contents.back().data(), contents.back().size(), 0);
    const zip_int64_t index = source != nullptr
                                  ? zip_file_add(archive, relative.generic_string().c_str(), source,
                                                 ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE)
                                  : -1;
    if (index < 0 || in.bad()) {
      zip_source_free(source);
      *error = "cannot add " + relative.generic_string() + ": " + zip_strerror(archive);
      ok = false;
      break;
    }
    zip_file_set_mtime(archive, static_cast<zip_uint64_t>(index), fixedTime, 0);
  }
  if (!ok) {
    zip_discard(archive);
    zip_source_free(target);
    return std::nullopt;
  }
  if (zip_close(archive) != 0) {
    *error = std::string("cannot write the archive: ") + zip_strerror(archive);
    zip_discard(archive);
    zip_source_free(target);
    return std::nullopt;
  }

  std::string bytes;
  zip_stat_t stat;
  if (zip_source_stat(target, &stat) == 0 && zip_source_open(target) == 0) {
    bytes.resize(stat.size);
    const zip_int64_t got = zip_source_read(target, bytes.data(), bytes.size());
    zip_source_close(target);
    if (got != static_cast<zip_int64_t>(bytes.size())) {
      bytes.clear();
    }
  }
  zip_source_free(target);
  if (bytes.empty()) {
    *error = "cannot read the archive back";
    return std::nullopt;
  }
  return bytes;
}
