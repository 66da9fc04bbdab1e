#include "uilib/ui_container.h"

#include <algorithm>

#include "uilib/paint_manager.h"

CContainerUI::~CContainerUI() {
  for (CControlUI* item : m_items) {
    delete item;
  }
}

std::wstring CContainerUI::GetClass() const {
  return L"ContainerUI";
}

// The children themselves: a subclass may show other items through GetCount and GetItemAt.
CControlUI* CContainerUI::GetItemAt(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= m_items.size()) {
    return nullptr;
  }
  return m_items[static_cast<size_t>(index)];
}

bool CContainerUI::Add(CControlUI* control) {
  return AddAt(control, GetCount());
}

bool CContainerUI::AddAt(CControlUI* control, int index) {
  if (control == nullptr || index < 0 || static_cast<size_t>(index) > m_items.size()) {
    return false;
  }
  m_items.insert(m_items.begin() + index, control);
  control->SetManager(m_manager, this);
  NeedParentUpdate();
  return true;
}

bool CContainerUI::Remove(CControlUI* control) {
  if (std::erase(m_items, control) == 0) {
    return false;
  }
  delete control;
  NeedParentUpdate();
  return true;
}

void CContainerUI::RemoveAll() {
  std::vector<CControlUI*> items;
  items.swap(m_items);
  for (CControlUI* item : items) {
    delete item;
  }
  NeedParentUpdate();
}

void CContainerUI::SetManager(CPaintManagerUI* manager, CControlUI* parent) {
  CControlUI::SetManager(manager, parent);
  for (CControlUI* item : m_items) {
    item->SetManager(manager, this);
  }
}

const AttributeTable<CContainerUI>& CContainerUI::Attributes() {
  using namespace attribute;
  static const AttributeTable<CContainerUI> table = {
      {"inset", Box(&CContainerUI::m_inset)},
      {"childpadding", Number(&CContainerUI::m_childPadding, 0)},
  };
  return table;
}

bool CContainerUI::SetAttribute(std::string_view name, std::string_view value) {
  return Attributes().ApplyOrBase<CControlUI>(*this, name, value);
}

CRect CContainerUI::Shrink(const RECT& rect, const RECT& by) {
  return CRect(rect.left + by.left, rect.top + by.top, rect.right - by.right,
               rect.bottom - by.bottom);
}

CRect CContainerUI::InnerRect() const {
  return Shrink(m_rect, m_inset);
}

void CContainerUI::SetPos(const RECT& rect) {
  CControlUI::SetPos(rect);
  LayoutChildren();
}

void CContainerUI::LayoutChildren() {
  const CRect inner = InnerRect();
  for (CControlUI* item : m_items) {
    if (item->IsVisible()) {
      item->SetPos(Shrink(inner, item->GetPadding()));
    }
  }
}

CControlUI* CContainerUI::FindControlAt(POINT point) {
  if (!m_visible || !m_rect.Contains(point)) {
    return nullptr;
  }
  for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
    if (CControlUI* found = (*it)->FindControlAt(point)) {
      return found;
    }
  }
  return this;
}

void CContainerUI::ForEach(const std::function<void(CControlUI*)>& visit) {
  visit(this);
  for (CControlUI* item : m_items) {
    item->ForEach(visit);
  }
}

void CContainerUI::DoPaint(cairo_t* cr, const RECT& clip) {
  const CRect visible = m_rect.Intersect(clip);
  if (visible.IsEmpty()) {
    return;
  }
  CControlUI::DoPaint(cr, clip);
  cairo_save(cr);
  cairo_rectangle(cr, visible.left, visible.top, visible.GetWidth(), visible.GetHeight());
  cairo_clip(cr);
  for (CControlUI* item : m_items) {
    if (item->IsVisible()) {
      item->DoPaint(cr, visible);
    }
  }
  cairo_restore(cr);
}

void CBoxLayoutUI::LayoutChildren() {
  const CRect inner = InnerRect();
  const bool vertical = m_vertical;
  // "Along" is the axis the children follow each other on, "across" the other one.
  const auto along = [vertical](SIZE size) { return vertical ? size.cy : size.cx; };
  const auto across = [vertical](SIZE size) { return vertical ? size.cx : size.cy; };
  const auto nearAlong = [vertical](const RECT& pad) { return vertical ? pad.top : pad.left; };
  const auto farAlong = [vertical](const RECT& pad) { return vertical ? pad.bottom : pad.right; };
  const SIZE available{inner.GetWidth(), inner.GetHeight()};
  int fixed = 0;
  int autoCount = 0;
  int visibleCount = 0;
  for (CControlUI* item : m_items) {
    if (!item->IsVisible()) {
      continue;
    }
    ++visibleCount;
    const SIZE size = item->EstimateSize(available);
    const RECT& pad = item->GetPadding();
    fixed += nearAlong(pad) + farAlong(pad) + std::max(0, along(size));
    autoCount += along(size) > 0 ? 0 : 1;
  }
  fixed += m_childPadding * std::max(0, visibleCount - 1);
  const int share = autoCount > 0 ? std::max(0, along(available) - fixed) / autoCount : 0;
  int cursor = vertical ? inner.top : inner.left;
  for (CControlUI* item : m_items) {
    if (!item->IsVisible()) {
      continue;
    }
    const SIZE size = item->EstimateSize(available);
    const RECT& pad = item->GetPadding();
    const int length = along(size) > 0 ? along(size) : share;
    const int start = cursor + nearAlong(pad);
    // Across, a child takes its own size or all there is; a row centres one of its own size.
    const int crossStart = vertical ? inner.left + pad.left : inner.top + pad.top;
    const int crossFree = vertical ? inner.GetWidth() - pad.left - pad.right
                                   : inner.GetHeight() - pad.top - pad.bottom;
    const int crossLength = across(size) > 0 ? std::min(across(size), crossFree) : crossFree;
    const int offset = !vertical && across(size) > 0 ? (crossFree - crossLength) / 2 : 0;
    const int near = crossStart + offset;
    item->SetPos(vertical ? CRect(near, start, near + crossLength, start + length)
                          : CRect(start, near, start + length, near + crossLength));
    cursor = start + length + farAlong(pad) + m_childPadding;
  }
}

std::wstring CVerticalLayoutUI::GetClass() const {
  return L"VerticalLayoutUI";
}

std::wstring CHorizontalLayoutUI::GetClass() const {
  return L"HorizontalLayoutUI";
}
