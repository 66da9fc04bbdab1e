#include "ui/backend_folder_picker.h"

#include "uilib/ui_backend.h"

std::optional<std::wstring> BackendFolderPicker::PickFolder(HWND owner, const std::wstring& title) {
  if (UiBackend() == nullptr) {
    return std::nullopt;
  }
  return UiBackend()->PickFolder(owner, title);
}
