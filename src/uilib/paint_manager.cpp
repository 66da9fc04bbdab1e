#include "uilib/paint_manager.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/executable_folder.h"
#include "platform/posted_messages.h"
#include "uilib/render_engine.h"
#include "uilib/resources.h"
#include "uilib/ui_backend.h"
#include "uilib/ui_container.h"
#include "uilib/window_wnd.h"

namespace {

// Adds `item` unless it is there already; false when it was.
template <typename T>
bool AddOnce(std::vector<T>& items, T item) {
  if (std::find(items.begin(), items.end(), item) != items.end()) {
    return false;
  }
  items.push_back(item);
  return true;
}

std::map<HWND, CPaintManagerUI*>& Managers() {
  static std::map<HWND, CPaintManagerUI*> managers;
  return managers;
}

}  // namespace

CPaintManagerUI::CPaintManagerUI() = default;

CPaintManagerUI::~CPaintManagerUI() {
  for (const Timer& timer : m_timers) {
    if (UiBackend() != nullptr) {
      UiBackend()->StopTimer(timer.backendId);
    }
  }
  m_timers.clear();
  // The tree goes first, while its controls can still tell this manager they are gone.
  m_root.reset();
  if (m_hwnd != nullptr) {
    auto& managers = Managers();
    const auto it = managers.find(m_hwnd);
    if (it != managers.end() && it->second == this) {
      managers.erase(it);
    }
  }
}

void CPaintManagerUI::SetInstance(void*) {}

std::wstring CPaintManagerUI::GetInstancePath() {
  return ExecutableFolder();
}

// Resources come from the skin archive (or a test's folder), never from the program's folder.
void CPaintManagerUI::SetResourcePath(const std::wstring&) {}

bool CPaintManagerUI::SetResourceZip(const void* data, size_t length) {
  return SkinResources::SetZip(data, length);
}

int CPaintManagerUI::MessageLoop() {
  IUiBackend* backend = UiBackend();
  if (backend == nullptr) {
    return -1;
  }
  SetPostedMessageWakeup([backend] { backend->WakeLoop(); });
  const int code = backend->RunLoop([] { DispatchPostedMessages(); });
  SetPostedMessageWakeup(nullptr);
  return code;
}

void CPaintManagerUI::DispatchPostedMessages() {
  // Messages posted while these are handled wait for the next round, keeping the order.
  for (const PostedMessage& message : TakePostedMessages()) {
    DeliverWindowMessage(message.hwnd, message.message, message.wParam, message.lParam);
  }
}

CPaintManagerUI* CPaintManagerUI::FromWindow(HWND hwnd) {
  const auto& managers = Managers();
  const auto it = managers.find(hwnd);
  return it == managers.end() ? nullptr : it->second;
}

void CPaintManagerUI::Init(HWND hwnd) {
  m_hwnd = hwnd;
  Managers()[hwnd] = this;
}

bool CPaintManagerUI::AttachDialog(CControlUI* root) {
  if (root == nullptr) {
    return false;
  }
  m_focus = m_hover = m_capture = nullptr;
  m_root.reset(root);
  root->SetManager(this, nullptr);
  m_windowInitSent = false;
  NeedUpdate();
  return true;
}

bool CPaintManagerUI::AddNotifier(INotifyUI* notifier) {
  return AddOnce(m_notifiers, notifier);
}

bool CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) {
  return std::erase(m_notifiers, notifier) > 0;
}

bool CPaintManagerUI::AddPreMessageFilter(IMessageFilterUI* filter) {
  return AddOnce(m_preFilters, filter);
}

bool CPaintManagerUI::RemovePreMessageFilter(IMessageFilterUI* filter) {
  return std::erase(m_preFilters, filter) > 0;
}

bool CPaintManagerUI::PreMessageHandler(UINT message, WPARAM wParam, LPARAM lParam,
                                        LRESULT& result) {
  const std::vector<IMessageFilterUI*> filters = m_preFilters;
  for (IMessageFilterUI* filter : filters) {
    bool handled = false;
    const LRESULT value = filter->MessageHandler(message, wParam, lParam, handled);
    if (handled) {
      result = value;
      return true;
    }
  }
  return false;
}

RECT CPaintManagerUI::ClientRect() const {
  if (m_hwnd == nullptr || UiBackend() == nullptr) {
    return {};
  }
  const RECT window = UiBackend()->GetNativeWindowRect(m_hwnd);
  return {0, 0, window.right - window.left, window.bottom - window.top};
}

void CPaintManagerUI::NeedUpdate() {
  m_needLayout = true;
  Invalidate(ClientRect());
}

void CPaintManagerUI::UpdateLayout() {
  const RECT client = ClientRect();
  const SIZE size{client.right, client.bottom};
  if (m_root && (m_needLayout || size.cx != m_laidOutSize.cx || size.cy != m_laidOutSize.cy)) {
    m_needLayout = false;
    m_laidOutSize = size;
    m_root->SetPos(client);
  }
  if (m_root && !m_windowInitSent && size.cx > 0 && size.cy > 0) {
    m_windowInitSent = true;
    SendNotify(m_root.get(), L"windowinit");
  }
}

void CPaintManagerUI::Invalidate(const RECT& rect) {
  if (m_hwnd != nullptr && UiBackend() != nullptr) {
    UiBackend()->InvalidateNativeWindow(m_hwnd, rect);
  }
}

void CPaintManagerUI::Paint(cairo_t* cr, const RECT& clip) {
  UpdateLayout();
  CRenderEngine::DrawColor(cr, clip, m_bkColor);
  if (m_root && m_root->IsVisible()) {
    m_root->DoPaint(cr, clip);
  }
}

CControlUI* CPaintManagerUI::FindControl(const std::wstring& name) const {
  const auto it = m_names.find(name);
  return it == m_names.end() ? nullptr : it->second;
}

CControlUI* CPaintManagerUI::FindControl(POINT point) {
  UpdateLayout();
  return m_root ? m_root->FindControlAt(point) : nullptr;
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* parent,
                                                  const std::wstring& name) const {
  if (parent == nullptr) {
    return nullptr;
  }
  CControlUI* found = nullptr;
  parent->ForEach([&](CControlUI* control) {
    if (found == nullptr && control != parent && control->GetName() == name) {
      found = control;
    }
  });
  return found;
}

void CPaintManagerUI::ForEachControl(const std::function<void(CControlUI*)>& visit) {
  if (m_root) {
    m_root->ForEach(visit);
  }
}

bool CPaintManagerUI::SetTimer(CControlUI* control, UINT id, UINT elapse) {
  if (control == nullptr || m_hwnd == nullptr || UiBackend() == nullptr || elapse == 0) {
    return false;
  }
  KillTimer(control, id);
  const WPARAM key = m_nextTimerKey++;
  const HWND hwnd = m_hwnd;
  // The tick goes through the window like any other message, so its filters see it.
  const uint64_t backendId = UiBackend()->StartTimer(
      elapse, [hwnd, key] { DeliverWindowMessage(hwnd, WM_TIMER, key, 0); });
  m_timers.push_back({control, id, backendId, key});
  return true;
}

bool CPaintManagerUI::KillTimer(CControlUI* control, UINT id) {
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
    if (it->control == control && it->id == id) {
      if (UiBackend() != nullptr) {
        UiBackend()->StopTimer(it->backendId);
      }
      m_timers.erase(it);
      return true;
    }
  }
  return false;
}

void CPaintManagerUI::KillTimer(CControlUI* control) {
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    if (it->control == control) {
      if (UiBackend() != nullptr) {
        UiBackend()->StopTimer(it->backendId);
      }
      it = m_timers.erase(it);
    } else {
      ++it;
    }
  }
}

void CPaintManagerUI::SendNotify(CControlUI* control, const std::wstring& type, WPARAM wParam,
                                 LPARAM lParam) {
  TNotifyUI msg;
  msg.sType = type;
  msg.pSender = control;
  msg.wParam = wParam;
  msg.lParam = lParam;
  const std::vector<INotifyUI*> notifiers = m_notifiers;
  for (INotifyUI* notifier : notifiers) {
    notifier->Notify(msg);
  }
}

void CPaintManagerUI::SetFocus(CControlUI* control) {
  if (control == m_focus) {
    return;
  }
  CControlUI* old = m_focus;
  m_focus = control;
  if (old != nullptr) {
    Event(old, UIEVENT_KILLFOCUS, {});
  }
  if (control != nullptr) {
    Event(control, UIEVENT_SETFOCUS, {});
    for (CControlUI* parent = control->GetParent(); parent != nullptr;
         parent = parent->GetParent()) {
      parent->EnsureVisible(control);
    }
  }
}

void CPaintManagerUI::SetFocusByPointer(CControlUI* control) {
  m_focusCue = false;
  SetFocus(control);
}

bool CPaintManagerUI::TakesKeys(const CControlUI* control) {
  return control->IsFocusable() && control->IsEnabled() && control->IsVisibleInTree();
}

// The chain is every focusable control in layout order (the order of the tree), wrapping at
// both ends.
void CPaintManagerUI::MoveFocus(bool forward) {
  std::vector<CControlUI*> order;
  ForEachControl([&order](CControlUI* control) {
    if (TakesKeys(control)) {
      order.push_back(control);
    }
  });
  if (order.empty()) {
    return;
  }
  const auto current = std::find(order.begin(), order.end(), m_focus);
  size_t next = 0;
  if (current != order.end()) {
    const size_t index = static_cast<size_t>(current - order.begin());
    next = forward ? (index + 1) % order.size() : (index + order.size() - 1) % order.size();
  } else if (!forward) {
    next = order.size() - 1;
  }
  m_focusCue = true;
  SetFocus(order[next]);
}

void CPaintManagerUI::Event(CControlUI* control, UiEventType type, POINT point, WPARAM wParam) {
  TEventUI event;
  event.Type = type;
  event.pSender = control;
  event.ptMouse = point;
  event.wParam = wParam;
  control->DoEvent(event);
}

void CPaintManagerUI::SetHover(CControlUI* control, POINT point) {
  if (control == m_hover) {
    return;
  }
  CControlUI* old = m_hover;
  m_hover = control;
  if (old != nullptr) {
    Event(old, UIEVENT_MOUSELEAVE, point);
  }
  if (control != nullptr) {
    Event(control, UIEVENT_MOUSEENTER, point);
  }
}

bool CPaintManagerUI::MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (m_hwnd == nullptr) {
    return false;
  }
  const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (message) {
    case WM_SIZE:
      UpdateLayout();
      return false;  // the window may want it too
    case WM_GETMINMAXINFO:
      // The layout's "mininfo": the window is never made smaller than that.
      if (auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
          info != nullptr && (m_minInfo.cx > 0 || m_minInfo.cy > 0)) {
        info->ptMinTrackSize = {std::max(info->ptMinTrackSize.x, m_minInfo.cx),
                                std::max(info->ptMinTrackSize.y, m_minInfo.cy)};
      }
      return false;
    case WM_MOUSEMOVE: {
      CControlUI* control = FindControl(point);
      SetHover(control != nullptr && control->IsEnabled() ? control : nullptr, point);
      if (m_capture != nullptr) {
        Event(m_capture, UIEVENT_MOUSEMOVE, point);
      }
      result = 0;
      return true;
    }
    case WM_MOUSELEAVE:
      SetHover(nullptr, point);
      result = 0;
      return true;
    case WM_LBUTTONDOWN: {
      CControlUI* control = FindControl(point);
      if (control == nullptr || !control->IsEnabled()) {
        return true;
      }
      SetHover(control, point);
      // The focus goes to the first control from here up that takes it (a click on a row's text
      // focuses the row); where none does, it stays.
      for (CControlUI* up = control; up != nullptr; up = up->GetParent()) {
        if (CControlUI* target = up->GetFocusTarget()) {
          SetFocusByPointer(target);
          break;
        }
      }
      m_focusCue = false;
      m_capture = control;
      Event(control, UIEVENT_BUTTONDOWN, point);
      result = 0;
      return true;
    }
    case WM_LBUTTONUP: {
      CControlUI* control = m_capture;
      m_capture = nullptr;
      if (control != nullptr) {
        Event(control, UIEVENT_BUTTONUP, point);
      }
      result = 0;
      return true;
    }
    case WM_MOUSEWHEEL: {
      CControlUI* control = FindControl(point);
      if (control != nullptr) {
        Event(control, UIEVENT_SCROLLWHEEL, point, wParam);
      }
      result = 0;
      return true;
    }
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) {
        return false;  // the window's
      }
      if (m_focus != nullptr && !TakesKeys(m_focus)) {
        SetFocus(nullptr);  // hidden or disabled since it took the focus
      }
      if (wParam == VK_TAB) {
        MoveFocus((lParam & kKeyShiftDown) == 0);
      } else if (m_focus != nullptr) {
        m_focusCue = true;
        Invalidate(m_focus->GetPos());
        Event(m_focus, UIEVENT_KEYDOWN, {}, wParam);
      }
      result = 0;
      return true;
    case WM_TIMER:
      for (const Timer& timer : m_timers) {
        if (timer.key == wParam) {
          Event(timer.control, UIEVENT_TIMER, {}, timer.id);
          result = 0;
          return true;
        }
      }
      return false;
    default:
      return false;
  }
}

void CPaintManagerUI::AdoptControl(CControlUI* control) {
  if (!control->GetName().empty()) {
    m_names.emplace(control->GetName(), control);
  }
}

void CPaintManagerUI::ReapControl(CControlUI* control) {
  if (UiBackend() != nullptr) {
    UiBackend()->ForgetControl(control);
  }
  for (auto it = m_names.begin(); it != m_names.end();) {
    it = it->second == control ? m_names.erase(it) : std::next(it);
  }
  if (m_focus == control) {
    m_focus = nullptr;
  }
  if (m_hover == control) {
    m_hover = nullptr;
  }
  if (m_capture == control) {
    m_capture = nullptr;
  }
  KillTimer(control);
}

void CPaintManagerUI::RenameControl(CControlUI* control, const std::wstring& from,
                                    const std::wstring& to) {
  const auto it = m_names.find(from);
  if (it != m_names.end() && it->second == control) {
    m_names.erase(it);
  }
  if (!to.empty()) {
    m_names.emplace(to, control);
  }
}
