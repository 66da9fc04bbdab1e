#include "uilib/ui_backend.h"

namespace {

std::unique_ptr<IUiBackend> g_backend;

}  // namespace

IUiBackend* UiBackend() {
  return g_backend.get();
}

void SetUiBackend(std::unique_ptr<IUiBackend> backend) {
  g_backend = std::move(backend);
}
