#pragma once

#include <filesystem>

// Makes the download settings live in `folder` (config.ini) with the download root
// `folder`/photos, which is created; returns the root.
std::filesystem::path UseTemporarySettings(const std::filesystem::path& folder);
