#pragma once

#include <filesystem>
#include <string>

// The folder where tests leave screenshots and images for a person to look at: ZP_TEST_ARTIFACTS,
// or /tmp when it is not set.
std::filesystem::path ArtifactsFolder();
// The file `name` in that folder.
std::filesystem::path ArtifactPath(const std::string& name);
