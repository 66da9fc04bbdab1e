#pragma once

// Lists: a header of columns over rows that scroll. A row (CListContainerElementUI) is a
// container whose children take the header's columns in order; after its children it draws its
// item text (IListItemUI::DrawItemText), where rows may draw column separators from the owner's
// list information.

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

 protected:
  void LayoutChildren() override;
  IListOwnerUI* m_owner = nullptr;
};

class CListUI : public CVerticalLayoutUI, public IListOwnerUI {
 public:
  CListUI();
  std::wstring GetClass() const override;
  TListInfoUI* GetListInfo() override;
  CListHeaderUI* GetHeader() const { return m_header; }

  // Rows: these act on the list's body, not on the header.
  int GetRowCount() const;
  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control) override;
  void RemoveAll() override;
  int GetCount() const;
  CControlUI* GetItemAt(int index) const;

  bool SetAttribute(std::string_view name, std::string_view value) override;
  void DoEvent(TEventUI& event) override;
  int GetScrollPos() const { return m_scroll; }
  void SetScrollPos(int pos);

 protected:
  void LayoutChildren() override;
  void DoPaint(cairo_t* cr, const RECT& clip) override;

 private:
  class CListBodyUI;
  CListHeaderUI* m_header;
  CListBodyUI* m_body;
  TListInfoUI m_info;
  int m_rowHeight = 0;
  int m_scroll = 0;
  uint32_t m_scrollColor = 0x66000000;
};
