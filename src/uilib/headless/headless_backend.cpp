#include "uilib/headless/headless_backend.h"

#include <algorithm>

#include "platform/posted_messages.h"
#include "uilib/paint_manager.h"

HeadlessWebBrowser::~HeadlessWebBrowser() {
  auto& list = m_backend->browsers;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

HRESULT HeadlessWebBrowser::Navigate(const std::wstring& url) {
  navigations.push_back(url);
  if (onNavigate) {
    onNavigate(url);
  }
  return S_OK;
}

HRESULT HeadlessWebBrowser::ExecScriptInFirstReadableFrame(const std::wstring& script) {
  for (Frame& frame : frames) {
    if (frame.readable) {
      frame.scripts.push_back(script);
      if (onScript) {
        onScript(script, frame);
      }
      return S_OK;
    }
  }
  return E_FAIL;
}

HeadlessNativeEdit::~HeadlessNativeEdit() {
  auto& list = m_backend->edits;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

HeadlessBackend::HeadlessBackend() = default;

HeadlessWindow* HeadlessBackend::Find(HWND hwnd) {
  const auto it = m_windows.find(hwnd);
  return it == m_windows.end() ? nullptr : &it->second;
}

HeadlessBackend* HeadlessBackend::Install() {
  auto backend = std::make_unique<HeadlessBackend>();
  HeadlessBackend* installed = backend.get();
  SetUiBackend(std::move(backend));
  TakePostedMessages();
  return installed;
}

const HeadlessWindow* HeadlessBackend::Window(HWND hwnd) const {
  const auto it = m_windows.find(hwnd);
  return it == m_windows.end() ? nullptr : &it->second;
}

void HeadlessBackend::CreateNativeWindow(HWND hwnd, HWND parent, const RECT& rect,
                                         INativeWindowClient* client) {
  HeadlessWindow& window = m_windows[hwnd];
  window.parent = parent;
  window.rect = rect;
  window.client = client;
}

void HeadlessBackend::DestroyNativeWindow(HWND hwnd) {
  m_windows.erase(hwnd);
}

void HeadlessBackend::ShowNativeWindow(HWND hwnd, bool show, bool takeFocus) {
  if (HeadlessWindow* window = Find(hwnd)) {
    window->visible = show;
    window->focused = show && takeFocus;
    if (show) {
      window->minimized = false;
    }
  }
}

bool HeadlessBackend::IsNativeWindowVisible(HWND hwnd) const {
  const HeadlessWindow* window = Window(hwnd);
  return window != nullptr && window->visible;
}

void HeadlessBackend::MoveNativeWindow(HWND hwnd, const RECT& rect) {
  HeadlessWindow* window = Find(hwnd);
  if (window == nullptr) {
    return;
  }
  const bool resized = (rect.right - rect.left != window->rect.right - window->rect.left) ||
                       (rect.bottom - rect.top != window->rect.bottom - window->rect.top);
  window->rect = rect;
  if (resized && window->client != nullptr) {
    window->client->OnNativeMessage(WM_SIZE, 0,
                                    MAKELPARAM(rect.right - rect.left, rect.bottom - rect.top));
  }
}

RECT HeadlessBackend::GetNativeWindowRect(HWND hwnd) const {
  const HeadlessWindow* window = Window(hwnd);
  return window != nullptr ? window->rect : RECT{};
}

void HeadlessBackend::InvalidateNativeWindow(HWND, const RECT&) {}

void HeadlessBackend::SetNativeWindowShape(HWND hwnd, const std::vector<RECT>& shape) {
  if (HeadlessWindow* window = Find(hwnd)) {
    window->shape = shape;
  }
}

bool HeadlessBackend::IsNativeWindowMinimized(HWND hwnd) const {
  const HeadlessWindow* window = Window(hwnd);
  return window != nullptr && window->minimized;
}

void HeadlessBackend::MinimizeNativeWindow(HWND hwnd) {
  if (HeadlessWindow* window = Find(hwnd)) {
    window->minimized = true;
  }
}

void HeadlessBackend::BeginMoveDrag(HWND hwnd, POINT) {
  if (HeadlessWindow* window = Find(hwnd)) {
    ++window->moveDrags;
  }
}

RECT HeadlessBackend::GetMonitorWorkArea(HWND) const {
  return workArea;
}

void HeadlessBackend::SetNativeWindowTitle(HWND hwnd, const std::wstring& title) {
  if (HeadlessWindow* window = Find(hwnd)) {
    window->title = title;
  }
}

uint64_t HeadlessBackend::StartTimer(unsigned periodMs, std::function<void()> tick) {
  const uint64_t id = m_nextTimer++;
  m_timers.push_back({id, periodMs, m_now + periodMs, std::move(tick)});
  return id;
}

void HeadlessBackend::StopTimer(uint64_t id) {
  m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(),
                                [id](const Timer& timer) { return timer.id == id; }),
                 m_timers.end());
}

void HeadlessBackend::RunUntilIdle() {
  // Each round takes what is queued; handling may post more.
  for (int round = 0; round < 100000; ++round) {
    const bool any = WaitForPostedMessage(std::chrono::milliseconds(0));
    if (!any) {
      return;
    }
    CPaintManagerUI::DispatchPostedMessages();
  }
}

void HeadlessBackend::AdvanceClock(unsigned ms) {
  const uint64_t end = m_now + ms;
  RunUntilIdle();
  while (true) {
    auto next = std::min_element(m_timers.begin(), m_timers.end(),
                                 [](const Timer& a, const Timer& b) { return a.due < b.due; });
    if (next == m_timers.end() || next->due > end) {
      break;
    }
    m_now = next->due;
    next->due += std::max(1u, next->period);
    const std::function<void()> tick = next->tick;  // the tick may stop its own timer
    tick();
    RunUntilIdle();
  }
  m_now = end;
}

int HeadlessBackend::RunLoop(const std::function<void()>& take) {
  quitCode.reset();
  while (!quitCode) {
    take();
    if (quitCode) {
      break;
    }
    if (WaitForPostedMessage(std::chrono::milliseconds(0))) {
      continue;
    }
    // Idle: the virtual clock jumps to the next timer; with none, nothing can ever happen.
    auto next = std::min_element(m_timers.begin(), m_timers.end(),
                                 [](const Timer& a, const Timer& b) { return a.due < b.due; });
    if (next == m_timers.end()) {
      return -1;
    }
    AdvanceClock(static_cast<unsigned>(next->due - m_now));
  }
  return *quitCode;
}

void HeadlessBackend::QuitLoop(int exitCode) {
  quitCode = exitCode;
}

int HeadlessBackend::ShowMessageBox(HWND owner, const std::wstring& text,
                                    const std::wstring& caption, UINT type) {
  messageBoxes.push_back({owner, text, caption, type});
  if (messageBoxAnswers.empty()) {
    return 1;  // IDOK
  }
  const int answer = messageBoxAnswers.front();
  messageBoxAnswers.pop_front();
  return answer;
}

std::optional<std::wstring> HeadlessBackend::PickFolder(HWND, const std::wstring& title) {
  pickerTitles.push_back(title);
  if (pickerAnswers.empty()) {
    return std::nullopt;
  }
  std::optional<std::wstring> answer = pickerAnswers.front();
  pickerAnswers.pop_front();
  return answer;
}

bool HeadlessBackend::OpenWebPage(const std::wstring& url) {
  if (!webPagesOpen) {
    return false;
  }
  openedPages.push_back(url);
  return true;
}

std::unique_ptr<INativeEdit> HeadlessBackend::CreateNativeEdit(HWND) {
  auto edit = std::make_unique<HeadlessNativeEdit>(this);
  edits.push_back(edit.get());
  return edit;
}

std::unique_ptr<IWebBrowser> HeadlessBackend::CreateWebBrowser(HWND) {
  auto browser = std::make_unique<HeadlessWebBrowser>(this);
  browsers.push_back(browser.get());
  return browser;
}

void HeadlessBackend::MouseMove(HWND hwnd, POINT point) {
  if (HeadlessWindow* window = Find(hwnd)) {
    window->client->OnNativeMessage(WM_MOUSEMOVE, 0, MAKELPARAM(point.x, point.y));
  }
}

void HeadlessBackend::MouseDown(HWND hwnd, POINT point) {
  HeadlessWindow* window = Find(hwnd);
  if (window == nullptr) {
    return;
  }
  const POINT screen{window->rect.left + point.x, window->rect.top + point.y};
  const LRESULT hit =
      window->client->OnNativeMessage(WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
  if (hit == HTCAPTION) {
    BeginMoveDrag(hwnd, screen);
    return;
  }
  window->client->OnNativeMessage(WM_LBUTTONDOWN, 0, MAKELPARAM(point.x, point.y));
}

void HeadlessBackend::MouseUp(HWND hwnd, POINT point) {
  if (HeadlessWindow* window = Find(hwnd)) {
    window->client->OnNativeMessage(WM_LBUTTONUP, 0, MAKELPARAM(point.x, point.y));
  }
}

void HeadlessBackend::Click(HWND hwnd, POINT point) {
  MouseMove(hwnd, point);
  MouseDown(hwnd, point);
  MouseUp(hwnd, point);
  RunUntilIdle();
}

void HeadlessBackend::Wheel(HWND hwnd, POINT point, int direction) {
  if (HeadlessWindow* window = Find(hwnd)) {
    window->client->OnNativeMessage(WM_MOUSEWHEEL, static_cast<WPARAM>(direction),
                                    MAKELPARAM(point.x, point.y));
  }
}

void HeadlessBackend::Key(HWND hwnd, WPARAM key, bool shift) {
  if (HeadlessWindow* window = Find(hwnd)) {
    window->client->OnNativeMessage(WM_KEYDOWN, key, shift ? kKeyShiftDown : 0);
  }
  RunUntilIdle();
}

LRESULT HeadlessBackend::System(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  HeadlessWindow* window = Find(hwnd);
  return window != nullptr ? window->client->OnNativeMessage(message, wParam, lParam) : 0;
}

cairo_surface_t* HeadlessBackend::Render(HWND hwnd) const {
  const HeadlessWindow* window = Window(hwnd);
  if (window == nullptr) {
    return nullptr;
  }
  const int width = std::max(1, window->rect.right - window->rect.left);
  const int height = std::max(1, window->rect.bottom - window->rect.top);
  // Drawn as a display of `scale` device pixels per pixel would show it.
  const int factor = std::max(1, scale);
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width * factor, height * factor);
  cairo_surface_set_device_scale(surface, factor, factor);
  cairo_t* cr = cairo_create(surface);
  window->client->OnNativePaint(cr, {0, 0, width, height});
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  return surface;
}

bool HeadlessBackend::SavePng(HWND hwnd, const std::string& path) const {
  cairo_surface_t* surface = Render(hwnd);
  if (surface == nullptr) {
    return false;
  }
  const bool saved = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return saved;
}
