#include "uilib/ui_activex.h"

#include "uilib/paint_manager.h"

CActiveXUI::~CActiveXUI() = default;

std::wstring CActiveXUI::GetClass() const {
  return L"ActiveXUI";
}

HRESULT CActiveXUI::GetControl(const std::string& iid, IWebBrowser** control) {
  *control = nullptr;
  if (iid != IID_IWebBrowser2) {
    return E_NOINTERFACE;
  }
  if (!m_browser && m_manager != nullptr && m_manager->GetPaintWindow() != nullptr &&
      UiBackend() != nullptr) {
    m_browser = UiBackend()->CreateWebBrowser(m_manager->GetPaintWindow());
    if (m_browser) {
      m_browser->SetVisible(m_visible);
      if (!m_rect.IsEmpty()) {
        m_browser->SetRect(m_rect);
      }
    }
  }
  *control = m_browser.get();
  return m_browser ? S_OK : E_FAIL;
}

void CActiveXUI::SetPos(const RECT& rect) {
  CControlUI::SetPos(rect);
  if (m_browser) {
    m_browser->SetRect(rect);
  }
}

void CActiveXUI::SetVisible(bool visible) {
  CControlUI::SetVisible(visible);
  if (m_browser) {
    m_browser->SetVisible(visible);
  }
}
