#pragma once

// CDialogBuilder: builds a control tree from a layout file of the skin archive (the layout
// language is described in docs/layout-language.md). Element names make controls through a
// registry; an element the library does not know is offered to the builder callback. An unknown
// element or attribute, a bad value, or children under a control that cannot hold them stop the
// build: Create returns null and GetLastError names what was wrong.

#include <string>

#include "uilib/attribute_table.h"
#include "uilib/ui_control.h"

class IDialogBuilderCallback {
 public:
  virtual ~IDialogBuilderCallback() = default;
  // A control for an element name the library does not know, or null.
  virtual CControlUI* CreateControl(const wchar_t* className) = 0;
};

class CDialogBuilder {
 public:
  // Builds `layoutFile`. A root element "Window" sets the window's attributes on `manager` and
  // its one child element is the root control; any other root element is the root control.
  // `type` is accepted and not used. The tree is attached to `manager` under `parent`.
  CControlUI* Create(const std::wstring& layoutFile, const wchar_t* type = nullptr,
                     IDialogBuilderCallback* callback = nullptr, CPaintManagerUI* manager = nullptr,
                     CControlUI* parent = nullptr);
  // Builds from layout text instead of a file.
  CControlUI* CreateFromText(const std::string& text, IDialogBuilderCallback* callback,
                             CPaintManagerUI* manager, CControlUI* parent);
  const std::string& GetLastError() const { return m_error; }

 private:
  std::string m_error;
};

// The attributes of the layout's <Window> element, applied to the window's paint manager.
const AttributeTable<CPaintManagerUI>& WindowAttributes();
