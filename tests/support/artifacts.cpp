#include "support/artifacts.h"

#include <cstdlib>

std::filesystem::path ArtifactsFolder() {
  const char* folder = std::getenv("ZP_TEST_ARTIFACTS");
  return folder != nullptr ? folder : "/tmp";
}

std::filesystem::path ArtifactPath(const std::string& name) {
  return ArtifactsFolder() / name;
}
