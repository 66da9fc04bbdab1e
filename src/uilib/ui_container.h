#pragma once

// Containers own their children and lay them out: CContainerUI stacks every child over its whole
// inner rectangle; the vertical and horizontal layouts give fixed-size children their size and
// share what is left equally among the others.

#include <memory>
#include <vector>

#include "uilib/ui_control.h"

class CContainerUI : public CControlUI {
 public:
  ~CContainerUI() override;
  std::wstring GetClass() const override;

  // The items: the children, or what a container shows as its items (a list's rows). Add, AddAt,
  // Remove and RemoveAll act on the same items.
  virtual int GetCount() const { return static_cast<int>(m_items.size()); }
  virtual CControlUI* GetItemAt(int index) const;
  // Takes ownership of `control`.
  virtual bool Add(CControlUI* control);
  virtual bool AddAt(CControlUI* control, int index);
  // Removes and frees `control`.
  virtual bool Remove(CControlUI* control);
  // Removes and frees every child.
  virtual void RemoveAll();

  void SetManager(CPaintManagerUI* manager, CControlUI* parent) override;
  bool SetAttribute(std::string_view name, std::string_view value) override;
  static const AttributeTable<CContainerUI>& Attributes();
  void SetPos(const RECT& rect) override;
  CControlUI* FindControlAt(POINT point) override;
  void ForEach(const std::function<void(CControlUI*)>& visit) override;
  void DoPaint(cairo_t* cr, const RECT& clip) override;

 protected:
  // The rectangle children are laid out in: the control's less its inset.
  CRect InnerRect() const;
  virtual void LayoutChildren();
  static CRect Shrink(const RECT& rect, const RECT& by);

  std::vector<CControlUI*> m_items;  // owned
  RECT m_inset{};
  int m_childPadding = 0;
};

// Children one after another along an axis: those of a fixed size take it, the others share
// what is left equally; children padding apart. Across the axis a child takes its own size (or
// all there is); a horizontal layout centres such a child in its row.
class CBoxLayoutUI : public CContainerUI {
 protected:
  explicit CBoxLayoutUI(bool vertical) : m_vertical(vertical) {}
  void LayoutChildren() override;

 private:
  bool m_vertical;
};

class CVerticalLayoutUI : public CBoxLayoutUI {
 public:
  CVerticalLayoutUI() : CBoxLayoutUI(true) {}
  std::wstring GetClass() const override;
};

class CHorizontalLayoutUI : public CBoxLayoutUI {
 public:
  CHorizontalLayoutUI() : CBoxLayoutUI(false) {}
  std::wstring GetClass() const override;
};
