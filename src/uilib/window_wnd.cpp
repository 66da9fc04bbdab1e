#include "uilib/window_wnd.h"

#include <algorithm>
#include <map>

#include "platform/posted_messages.h"
#include "uilib/paint_manager.h"
#include "uilib/resources.h"

namespace {

std::map<HWND, CWindowWnd*>& Windows() {
  static std::map<HWND, CWindowWnd*> windows;
  return windows;
}

}  // namespace

CWindowWnd* WindowFromHandle(HWND hwnd) {
  const auto& windows = Windows();
  const auto it = windows.find(hwnd);
  return it == windows.end() ? nullptr : it->second;
}

LRESULT DeliverWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWindowWnd* window = WindowFromHandle(hwnd);
  if (window == nullptr) {
    return 0;
  }
  if (CPaintManagerUI* manager = CPaintManagerUI::FromWindow(hwnd)) {
    LRESULT result = 0;
    if (manager->PreMessageHandler(message, wParam, lParam, result)) {
      return result;
    }
  }
  return window->HandleMessage(message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
  if (UiBackend() != nullptr) {
    UiBackend()->QuitLoop(exitCode);
  }
}

CWindowWnd::~CWindowWnd() {
  if (m_hWnd != nullptr) {
    Windows().erase(m_hWnd);
    if (UiBackend() != nullptr) {
      UiBackend()->DestroyNativeWindow(m_hWnd);
    }
    DestroyWindowHandle(m_hWnd);
  }
}

HWND CWindowWnd::Create(HWND parent, const std::wstring& name, UINT, UINT, int x, int y, int cx,
                        int cy) {
  if (UiBackend() == nullptr || m_hWnd != nullptr) {
    return nullptr;
  }
  m_hWnd = CreateWindowHandle();
  Windows()[m_hWnd] = this;
  UiBackend()->CreateNativeWindow(m_hWnd, parent, {x, y, x + cx, y + cy}, this);
  UiBackend()->SetNativeWindowTitle(m_hWnd, name);
  const HWND hwnd = m_hWnd;
  SendMessage(WM_CREATE, 0, 0);
  if (WindowFromHandle(hwnd) == nullptr) {
    return nullptr;  // destroyed while it was being created
  }
  // A layout may ask for a size of its own; then the window takes it, within its limits.
  SIZE wanted{GetClientRect().right, GetClientRect().bottom};
  if (CPaintManagerUI* manager = CPaintManagerUI::FromWindow(hwnd)) {
    const SIZE initial = manager->GetInitSize();
    if (initial.cx > 0 && initial.cy > 0) {
      wanted = initial;
    }
  }
  ResizeClient(wanted.cx, wanted.cy);
  if (WindowFromHandle(hwnd) == nullptr) {
    return nullptr;
  }
  SendMessage(WM_SIZE, 0, MAKELPARAM(GetClientRect().right, GetClientRect().bottom));
  return hwnd;
}

void CWindowWnd::CenterWindow() {
  if (m_hWnd == nullptr) {
    return;
  }
  const RECT window = UiBackend()->GetNativeWindowRect(m_hWnd);
  const RECT work = UiBackend()->GetMonitorWorkArea(m_hWnd);
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  const int x = work.left + (work.right - work.left - width) / 2;
  const int y = work.top + (work.bottom - work.top - height) / 2;
  UiBackend()->MoveNativeWindow(m_hWnd, {x, y, x + width, y + height});
}

void CWindowWnd::ShowWindow(bool show, bool takeFocus) {
  if (m_hWnd != nullptr) {
    UiBackend()->ShowNativeWindow(m_hWnd, show, takeFocus);
  }
}

void CWindowWnd::Close(UINT result) {
  PostMessage(WM_CLOSE, result, 0);
}

void CWindowWnd::SetIcon(UINT resource) {
  m_icon = resource;
  if (m_hWnd == nullptr || UiBackend() == nullptr) {
    return;
  }
  if (std::optional<std::string> png =
          SkinResources::ReadFile("icon" + std::to_string(resource) + ".png")) {
    UiBackend()->SetNativeWindowIcon(m_hWnd, *png);
  }
}

LRESULT CWindowWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_hWnd == nullptr) {
    return 0;
  }
  return HandleMessage(message, wParam, lParam);
}

bool CWindowWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return m_hWnd != nullptr && ::PostMessage(m_hWnd, message, wParam, lParam);
}

SIZE CWindowWnd::SizeWithinLimits(int cx, int cy) {
  MINMAXINFO info{};
  const RECT work = UiBackend()->GetMonitorWorkArea(m_hWnd);
  info.ptMaxTrackSize = {std::max(1, work.right - work.left), std::max(1, work.bottom - work.top)};
  SendMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  const int maxX = std::max(info.ptMaxTrackSize.x, info.ptMinTrackSize.x);
  const int maxY = std::max(info.ptMaxTrackSize.y, info.ptMinTrackSize.y);
  return {std::clamp(cx, std::max(1, info.ptMinTrackSize.x), std::max(1, maxX)),
          std::clamp(cy, std::max(1, info.ptMinTrackSize.y), std::max(1, maxY))};
}

void CWindowWnd::ResizeClient(int cx, int cy) {
  if (m_hWnd == nullptr) {
    return;
  }
  const SIZE size = SizeWithinLimits(cx, cy);
  if (m_hWnd == nullptr) {
    return;  // the window went while it was asked
  }
  cx = size.cx;
  cy = size.cy;
  const RECT window = UiBackend()->GetNativeWindowRect(m_hWnd);
  UiBackend()->MoveNativeWindow(m_hWnd,
                                {window.left, window.top, window.left + cx, window.top + cy});
}

RECT CWindowWnd::GetWindowRect() const {
  return m_hWnd != nullptr ? UiBackend()->GetNativeWindowRect(m_hWnd) : RECT{};
}

RECT CWindowWnd::GetClientRect() const {
  const RECT window = GetWindowRect();
  return {0, 0, window.right - window.left, window.bottom - window.top};
}

POINT CWindowWnd::ScreenToClient(POINT point) const {
  const RECT window = GetWindowRect();
  return {point.x - window.left, point.y - window.top};
}

bool CWindowWnd::IsIconic() const {
  return m_hWnd != nullptr && UiBackend()->IsNativeWindowMinimized(m_hWnd);
}

void CWindowWnd::DestroyWindow() {
  if (m_hWnd == nullptr) {
    return;
  }
  const HWND hwnd = m_hWnd;
  SendMessage(WM_DESTROY, 0, 0);
  Windows().erase(hwnd);
  UiBackend()->DestroyNativeWindow(hwnd);
  DestroyWindowHandle(hwnd);
  m_hWnd = nullptr;
  OnFinalMessage(hwnd);
}

LRESULT CWindowWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_CLOSE:
      DestroyWindow();
      return 0;
    case WM_SYSCOMMAND:
      if (wParam == SC_CLOSE) {
        SendMessage(WM_CLOSE, 0, 0);
      } else if (wParam == SC_MINIMIZE && m_hWnd != nullptr) {
        UiBackend()->MinimizeNativeWindow(m_hWnd);
      }
      return 0;
    case WM_NCHITTEST:
      return HTCLIENT;
    default:
      return 0;
  }
}

void CWindowWnd::OnFinalMessage(HWND) {}

LRESULT CWindowWnd::OnNativeMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return DeliverWindowMessage(m_hWnd, message, wParam, lParam);
}

void CWindowWnd::OnNativePaint(cairo_t* cr, const RECT& clip) {
  if (CPaintManagerUI* manager = CPaintManagerUI::FromWindow(m_hWnd)) {
    manager->Paint(cr, clip);
  }
}
