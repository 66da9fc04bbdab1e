#pragma once

// Lists: a header of columns over rows that scroll. A row (CListContainerElementUI) is a
// container whose children take the header's columns in order; after its children it draws its
// item text (IListItemUI::DrawItemText), where rows may draw column separators from the owner's
// list information.
//
// The keyboard: a row is a stop of the focus chain through its focusable children (a tick), or
// itself when it has none; the row holding the focus is the focused row. Up and Down move the
// focus to the row above or below, Page Up and Page Down a page of rows, Home and End to the first
// and last row, and the list scrolls so that the focused row shows. The scroll bar's thumb can be
// dragged, and a press on the bar beside it scrolls a page.

#include <vector>

#include "uilib/ui_container.h"
#include "uilib/ui_label.h"

// What rows need to know of their list: the column edges, the line colour.
struct TListInfoUI {
  int nColumns = 0;
  std::vector<RECT> rcColumn;
  uint32_t dwLineColor = 0;
  uint32_t dwHotBkColor = 0;
};

class IListOwnerUI {
 public:
  virtual ~IListOwnerUI() = default;
  virtual TListInfoUI* GetListInfo() = 0;
};

class IListItemUI {
 public:
  virtual ~IListItemUI() = default;
  virtual IListOwnerUI* GetOwner() = 0;
  virtual void SetOwner(IListOwnerUI* owner) = 0;
  virtual void DrawItemText(cairo_t* cr, const RECT& rcItem) = 0;
};

class CListHeaderItemUI : public CLabelUI {
 public:
  std::wstring GetClass() const override;
};

class CListHeaderUI : public CHorizontalLayoutUI {
 public:
  std::wstring GetClass() const override;
};

class CListContainerElementUI : public CContainerUI, public IListItemUI {
 public:
  std::wstring GetClass() const override;
  IListOwnerUI* GetOwner() override { return m_owner; }
  void SetOwner(IListOwnerUI* owner) override { m_owner = owner; }
  void DrawItemText(cairo_t* cr, const RECT& rcItem) override;
  void DoPaint(cairo_t* cr, const RECT& clip) override;
  void DoEvent(TEventUI& event) override;
  // Focusable itself only when no child takes the focus.
  bool IsFocusable() const override;
  // The first child that takes the focus, else the row itself.
  CControlUI* GetFocusTarget() override;

 protected:
  void LayoutChildren() override;
  // The first descendant that takes the focus, or null.
  CControlUI* FocusableChild() const;
  IListOwnerUI* m_owner = nullptr;
};

class CListUI : public CVerticalLayoutUI, public IListOwnerUI {
 public:
  CListUI();
  std::wstring GetClass() const override;
  TListInfoUI* GetListInfo() override;
  CListHeaderUI* GetHeader() const { return m_header; }

  // Rows: the list's items are its rows (also through CContainerUI), never its header.
  int GetRowCount() const;
  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control) override;
  void RemoveAll() override;
  int GetCount() const override;
  CControlUI* GetItemAt(int index) const override;

  bool SetAttribute(std::string_view name, std::string_view value) override;
  static const AttributeTable<CListUI>& Attributes();
  CControlUI* FindControlAt(POINT point) override;
  void DoEvent(TEventUI& event) override;
  // Scrolls so that the row holding `descendant` shows whole.
  void EnsureVisible(CControlUI* descendant) override;
  int GetScrollPos() const { return m_scroll; }
  // Clamped to 0 .. the rows' height less the body's.
  void SetScrollPos(int pos);

 protected:
  void LayoutChildren() override;
  void DoPaint(cairo_t* cr, const RECT& clip) override;

 private:
  class CListBodyUI;
  // The index of the row that is or holds `control`, or -1.
  int RowIndexOf(const CControlUI* control) const;
  // Moves the focus from the focused row for a key; false for other keys or without one.
  bool MoveFocusedRow(WPARAM key);
  int PageRows() const;
  // How far the rows can scroll: their height less the body's, or 0.
  int ScrollRange() const;
  // The scroll bar's thumb, when the rows do not fit.
  bool ScrollThumb(CRect* thumb) const;
  // The strip along the body's right edge where presses go to the scroll bar.
  CRect ScrollBarZone() const;
  CListHeaderUI* m_header;
  CListBodyUI* m_body;
  TListInfoUI m_info;
  int m_rowHeight = 0;
  int m_scroll = 0;
  int m_thumbGrab = -1;  // while the thumb is dragged: where in it the press was; else -1
  uint32_t m_scrollColor = 0x66000000;
};
