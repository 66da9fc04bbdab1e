#include "support/temporary_settings.h"

#include <memory>

#include "download/download_settings.h"
#include "platform/code_page.h"

std::filesystem::path UseTemporarySettings(const std::filesystem::path& folder) {
  const std::filesystem::path root = folder / "photos";
  std::filesystem::create_directories(root);
  auto settings = std::make_unique<DownloadSettings>(folder / "config.ini",
                                                     std::make_shared<HomeDriveProvider>());
  settings->WritePhotoDir(Utf8ToWide(root.string()));
  DownloadSettings::SetInstance(std::move(settings));
  return root;
}
