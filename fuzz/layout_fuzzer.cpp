// Feeds arbitrary bytes to the layout builder as a layout of the skin, on the headless back end,
// with the program's builder callback (which makes album rows). Besides crashes it checks that a
// build either gives a control tree or names what was wrong, never both and never neither.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/code_page.h"
#include "require.h"
#include "ui/album_list_item.h"
#include "uilib/dialog_builder.h"
#include "uilib/headless/headless_backend.h"
#include "uilib/paint_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    SetProcessCodePage("UTF-8");
    SetUiBackend(std::make_unique<HeadlessBackend>());
    return true;
  }();
  Require(ready);

  const std::string text(reinterpret_cast<const char*>(data), size);
  CPaintManagerUI manager;
  CDialogBuilder builder;
  CDialogBuilderCallbackEx callback;
  std::unique_ptr<CControlUI> root(builder.CreateFromText(text, &callback, &manager, nullptr));
  Require((root != nullptr) == builder.GetLastError().empty());
  if (root != nullptr) {
    Require(root->GetManager() == &manager);
  }
  return 0;
}
