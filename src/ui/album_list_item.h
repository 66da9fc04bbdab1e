#pragma once

// A row of the album list, built from "AlbumListItem.xml": a tick and six labels (index, name,
// type, photo count, status, remark). The row's user data is the album id. After its cells it
// draws the column separators of its list.

#include <string>

#include "uilib/dialog_builder.h"
#include "uilib/ui_button.h"
#include "uilib/ui_list.h"

// Names of 512 bytes or more are not shown.
constexpr size_t kRowNameMaxBytes = 511;

class CAlbumListItemUI : public CListContainerElementUI {
 public:
  std::wstring GetClass() const override;
  void DrawItemText(cairo_t* cr, const RECT& rcItem) override;

  CControlUI* m_lblIndex = nullptr;
  CControlUI* m_lblName = nullptr;
  CControlUI* m_lblType = nullptr;
  CControlUI* m_lblCount = nullptr;
  CControlUI* m_lblStatus = nullptr;
  CControlUI* m_lblRemark = nullptr;
  COptionUI* m_optSelect = nullptr;
};

// Makes the element "AlbumListItem" a CAlbumListItemUI.
class CDialogBuilderCallbackEx : public IDialogBuilderCallback {
 public:
  CControlUI* CreateControl(const wchar_t* className) override;
};

// A new row from the layout, or null when the layout cannot be built.
CAlbumListItemUI* CreateAlbumRow(CPaintManagerUI* manager);
// Finds the row's seven controls by name among its descendants.
void FindRowControls(CAlbumListItemUI* row);
// Shows `name` (bytes of the process code page) in the name label, unless it is too long.
void SetRowName(CAlbumListItemUI* row, const std::string& name);
std::wstring GetRowName(CAlbumListItemUI* row);
