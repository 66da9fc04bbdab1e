#pragma once

#include <filesystem>
#include <string_view>

// Writes a file whole under a temporary name in the same folder, then renames it into place: the
// file is either the old one or the new one, never a cut-off mix. False when it could not be
// written (the old file, if any, stays).
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);
