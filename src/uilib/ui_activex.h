#pragma once

// A control that hosts a native component over its rectangle. The one component offered is the
// web browser: GetControl with IID_IWebBrowser2 gives the control's browser (made on first use).

#include <memory>
#include <string>

#include "uilib/ui_backend.h"
#include "uilib/ui_control.h"

constexpr const char* IID_IWebBrowser2 = "{D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}";

class CActiveXUI : public CControlUI {
 public:
  ~CActiveXUI() override;
  std::wstring GetClass() const override;
  // S_OK with the browser in `*control` for IID_IWebBrowser2; E_NOINTERFACE otherwise, or
  // E_FAIL when no browser can be made.
  HRESULT GetControl(const std::string& iid, IWebBrowser** control);
  void SetPos(const RECT& rect) override;
  void SetVisible(bool visible) override;

 private:
  std::unique_ptr<IWebBrowser> m_browser;
};

constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
