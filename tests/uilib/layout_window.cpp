#include "layout_window.h"

#include "uilib/dialog_builder.h"

LRESULT LayoutWindow::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == WM_CREATE) {
    m_paintManager.Init(m_hWnd);
    m_paintManager.AddPreMessageFilter(this);
    CDialogBuilder builder;
    m_paintManager.AttachDialog(
        builder.CreateFromText(m_layout, nullptr, &m_paintManager, nullptr));
    m_paintManager.AddNotifier(this);
    return 0;
  }
  LRESULT result = 0;
  if (m_paintManager.MessageHandler(uMsg, wParam, lParam, result)) {
    return result;
  }
  return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

void LayoutWindow::Notify(TNotifyUI& msg) {
  notes.push_back(msg.sType + L":" + (msg.pSender ? msg.pSender->GetName() : L""));
  if (msg.sType == L"timer") {
    m_paintManager.KillTimer(msg.pSender, static_cast<UINT>(msg.wParam));
  }
}

POINT Center(const CControlUI* control) {
  const CRect& rect = control->GetPos();
  return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

uint32_t PixelAt(cairo_surface_t* surface, POINT point) {
  const int stride = cairo_image_surface_get_stride(surface);
  return *reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface) +
                                            point.y * stride + point.x * 4);
}
