#pragma once

// The encoder side of the skin file: the program itself only decodes. A skin file made here is
// coded with the tree the decoder builds from the file's own weights, so the two always agree.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "skin/skin_archive.h"

// The marker byte the program writes into its skin file; packing writes the same.
constexpr uint8_t kSkinFileMarker = 122;

// A skin file for `archive`: weights are the byte counts of the archive.
std::string EncodeSkinFile(std::string_view archive);

// A skin file coding `archive` with the tree of `weights` and `decodedLength` in the header.
std::string EncodeSkinFileWithWeights(std::string_view archive,
                                      const int32_t (&weights)[kSkinSymbols],
                                      int32_t decodedLength);

// A ZIP archive of every regular file under `folder`, with paths relative to it, in name order
// and with a fixed time stamp, so that the same folder always gives the same bytes.
std::optional<std::string> ZipFolder(const std::filesystem::path& folder, std::string* error);
