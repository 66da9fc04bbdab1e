#pragma once

// The folder picker of the download settings, shown by the UI back end in use (the GTK folder
// chooser, or the headless back end's scripted answers).

#include "download/download_settings.h"

class BackendFolderPicker : public FolderPicker {
 public:
  std::optional<std::wstring> PickFolder(HWND owner, const std::wstring& title) override;
};
