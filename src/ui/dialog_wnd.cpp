#include "ui/dialog_wnd.h"

#include <cmath>

#include "uilib/dialog_builder.h"

namespace {

bool IsClickableInCaption(const std::wstring& className) {
  return className == L"ButtonUI" || className == L"OptionUI" || className == L"TextUI";
}

}  // namespace

std::vector<RECT> TopRoundedRegion(const RECT& client, SIZE corner) {
  std::vector<RECT> shape;
  if (corner.cx == 0 && corner.cy == 0) {
    return shape;
  }
  // A: the rectangle below the corners (both offsets use the corner width, as B's bottom does).
  shape.push_back({client.left, client.top + corner.cx, client.right, client.bottom});
  // B: a rounded rectangle (left, top) - (right, bottom - cx) with corner ellipses cx by cy;
  // only its top corners show above A. Row by row, the part inside the ellipses, the same on
  // both sides.
  const double rx = corner.cx / 2.0;
  const double ry = corner.cy / 2.0;
  const int bottomB = client.bottom - corner.cx;
  for (int y = client.top; y < std::min(client.top + corner.cx, bottomB); ++y) {
    int inset = 0;
    const double dy = (y + 0.5) - (client.top + ry);
    if (ry > 0 && dy < 0) {
      const double ratio = std::min(1.0, (dy * dy) / (ry * ry));
      inset = static_cast<int>(std::lround(rx - rx * std::sqrt(1.0 - ratio)));
    }
    shape.push_back({client.left + inset, y, client.right - inset, y + 1});
  }
  return shape;
}

std::wstring CDialogWnd::GetWindowClassName() const {
  return L"";
}

LRESULT CDialogWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  using Handler = LRESULT (CDialogWnd::*)(UINT, WPARAM, LPARAM, bool&);
  struct Route {
    UINT message;
    Handler handler;
  };
  static constexpr Route kRoutes[] = {
      {WM_CREATE, &CDialogWnd::OnCreate},
      {WM_DESTROY, &CDialogWnd::OnDestroy},
      {WM_SIZE, &CDialogWnd::OnSize},
      {WM_CLOSE, &CDialogWnd::OnClose},
      {WM_GETMINMAXINFO, &CDialogWnd::OnGetMinMaxInfo},
      {WM_NCCALCSIZE, &CDialogWnd::OnNcCalcSize},
      {WM_NCHITTEST, &CDialogWnd::OnNcHitTest},
      {WM_NCPAINT, &CDialogWnd::OnNcPaint},
      {WM_NCACTIVATE, &CDialogWnd::OnNcActivate},
      {WM_SYSCOMMAND, &CDialogWnd::OnSysCommand},
  };
  LRESULT result = 0;
  bool handled = true;
  bool known = false;
  for (const Route& route : kRoutes) {
    if (route.message == uMsg) {
      known = true;
      result = (this->*route.handler)(uMsg, wParam, lParam, handled);  // virtual: the override runs
      break;
    }
  }
  if (known && handled) {
    return result;
  }
  if (m_paintManager.MessageHandler(uMsg, wParam, lParam, result)) {
    return result;
  }
  return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

void CDialogWnd::OnFinalMessage(HWND) {
  delete this;
}

void CDialogWnd::InitWindow() {
  SetIcon(101);
}

void CDialogWnd::OnPrepare(TNotifyUI&) {}

void CDialogWnd::OnCloseCommand() {
  if (m_destroyOnClose != 0) {
    Close(1);
  } else {
    ShowWindow(false, false);
  }
}

void CDialogWnd::CloseNow() {
  Close(1);
}

LRESULT CDialogWnd::OnCreate(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = true;
  return 0;
}

LRESULT CDialogWnd::CreateFromLayout(const std::wstring& layoutFile,
                                     IDialogBuilderCallback* callback, bool& bHandled) {
  m_paintManager.Init(m_hWnd);
  m_paintManager.AddPreMessageFilter(this);
  CDialogBuilder builder;
  CControlUI* root = builder.Create(layoutFile, nullptr, callback, &m_paintManager, nullptr);
  m_paintManager.AttachDialog(root);
  m_paintManager.AddNotifier(this);
  InitWindow();
  bHandled = true;
  return 0;
}

LRESULT CDialogWnd::OnClose(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = false;
  return 0;
}

LRESULT CDialogWnd::OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) {
  PostQuitMessage(0);
  bHandled = false;
  return 0;
}

LRESULT CDialogWnd::OnNcActivate(UINT, WPARAM wParam, LPARAM, bool& bHandled) {
  bHandled = true;
  return wParam == 0 ? 1 : 0;
}

LRESULT CDialogWnd::OnNcCalcSize(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = true;
  return 0;
}

LRESULT CDialogWnd::OnNcPaint(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = true;
  return 0;
}

LRESULT CDialogWnd::OnNcHitTest(UINT, WPARAM, LPARAM lParam, bool&) {
  const POINT screen{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  const POINT point = ScreenToClient(screen);
  const RECT client = GetClientRect();
  const RECT caption = m_paintManager.GetCaptionRect();
  if (point.x >= client.left + caption.left && point.x < client.right - caption.right &&
      point.y >= caption.top && point.y < caption.bottom) {
    CControlUI* control = m_paintManager.FindControl(point);
    if (control != nullptr && !IsClickableInCaption(control->GetClass())) {
      return HTCAPTION;
    }
  }
  return HTCLIENT;
}

LRESULT CDialogWnd::OnSize(UINT, WPARAM, LPARAM, bool& bHandled) {
  const SIZE corner = m_paintManager.GetRoundCorner();
  if (!IsIconic() && (corner.cx != 0 || corner.cy != 0) && UiBackend() != nullptr) {
    UiBackend()->SetNativeWindowShape(m_hWnd, TopRoundedRegion(GetClientRect(), corner));
  }
  bHandled = false;
  return 0;
}

LRESULT CDialogWnd::OnGetMinMaxInfo(UINT, WPARAM, LPARAM lParam, bool& bHandled) {
  auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
  if (info != nullptr && UiBackend() != nullptr) {
    RECT work = UiBackend()->GetMonitorWorkArea(m_hWnd);
    const int width = work.right - work.left;
    const int height = work.bottom - work.top;
    info->ptMaxPosition = {0, 0};
    info->ptMaxSize = {width, height};
  }
  bHandled = false;
  return 0;
}

LRESULT CDialogWnd::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  if (wParam == SC_CLOSE) {
    PostQuitMessage(0);
    bHandled = true;
    return 0;
  }
  bHandled = true;
  return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

void CDialogWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == L"windowinit") {
    OnPrepare(msg);
  }
}

LRESULT CDialogWnd::MessageHandler(UINT, WPARAM, LPARAM, bool&) {
  return 0;
}
