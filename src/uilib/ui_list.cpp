#include "uilib/ui_list.h"

#include <algorithm>

#include "uilib/paint_manager.h"
#include "uilib/render_engine.h"

namespace {

constexpr int kDefaultRowHeight = 30;
constexpr int kWheelRows = 3;
constexpr int kScrollBarWidth = 4;

}  // namespace

std::wstring CListHeaderItemUI::GetClass() const {
  return L"ListHeaderItemUI";
}

std::wstring CListHeaderUI::GetClass() const {
  return L"ListHeaderUI";
}

std::wstring CListContainerElementUI::GetClass() const {
  return L"ListContainerElementUI";
}

void CListContainerElementUI::DrawItemText(cairo_t*, const RECT&) {}

void CListContainerElementUI::DoPaint(cairo_t* cr, const RECT& clip) {
  if (m_rect.Intersect(clip).IsEmpty()) {
    return;
  }
  CContainerUI::DoPaint(cr, clip);
  cairo_save(cr);
  const CRect visible = m_rect.Intersect(clip);
  cairo_rectangle(cr, visible.left, visible.top, visible.GetWidth(), visible.GetHeight());
  cairo_clip(cr);
  DrawItemText(cr, m_rect);
  cairo_restore(cr);
}

void CListContainerElementUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEVENT_SCROLLWHEEL && m_parent != nullptr) {
    m_parent->DoEvent(event);
    return;
  }
  CContainerUI::DoEvent(event);
}

void CListContainerElementUI::LayoutChildren() {
  TListInfoUI* info = m_owner != nullptr ? m_owner->GetListInfo() : nullptr;
  const CRect inner = InnerRect();
  if (info == nullptr || info->nColumns == 0) {
    // Without columns the children share the row equally.
    const int count = std::max(1, GetCount());
    const int width = inner.GetWidth() / count;
    for (int i = 0; i < GetCount(); ++i) {
      CControlUI* item = m_items[static_cast<size_t>(i)];
      item->SetPos(Shrink(
          CRect(inner.left + i * width, inner.top, inner.left + (i + 1) * width, inner.bottom),
          item->GetPadding()));
    }
    return;
  }
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* item = m_items[static_cast<size_t>(i)];
    if (i >= info->nColumns) {
      item->SetPos(CRect());  // no column for it
      continue;
    }
    const RECT& column = info->rcColumn[static_cast<size_t>(i)];
    item->SetPos(
        Shrink(CRect(column.left, inner.top, column.right, inner.bottom), item->GetPadding()));
  }
}

// The rows, moved up by the list's scroll position and clipped to the body.
class CListUI::CListBodyUI : public CVerticalLayoutUI {
 public:
  explicit CListBodyUI(CListUI* list) : m_list(list) {}
  std::wstring GetClass() const override { return L"ListBodyUI"; }
  void DoEvent(TEventUI& event) override {
    if (event.Type == UIEVENT_SCROLLWHEEL) {
      m_list->DoEvent(event);
      return;
    }
    CVerticalLayoutUI::DoEvent(event);
  }
  int ContentHeight() const {
    int height = 0;
    for (CControlUI* item : m_items) {
      if (item->IsVisible()) {
        height += RowHeight(item);
      }
    }
    return height;
  }
  int RowHeight(CControlUI* item) const {
    if (item->GetFixedHeight() > 0) {
      return item->GetFixedHeight();
    }
    return m_list->m_rowHeight > 0 ? m_list->m_rowHeight : kDefaultRowHeight;
  }

 protected:
  void LayoutChildren() override {
    const CRect inner = InnerRect();
    int y = inner.top - m_list->m_scroll;
    for (CControlUI* item : m_items) {
      if (!item->IsVisible()) {
        continue;
      }
      const int height = RowHeight(item);
      item->SetPos(CRect(inner.left, y, inner.right, y + height));
      y += height;
    }
  }

 private:
  CListUI* m_list;
};

CListUI::CListUI() : m_header(new CListHeaderUI), m_body(new CListBodyUI(this)) {
  m_header->SetFixedHeight(0);
  m_header->SetVisible(false);  // until the layout gives one
  // Qualified calls: Add would reach this class's AddAt, which puts controls into the body.
  CVerticalLayoutUI::AddAt(m_header, 0);
  CVerticalLayoutUI::AddAt(m_body, 1);
}

std::wstring CListUI::GetClass() const {
  return L"ListUI";
}

TListInfoUI* CListUI::GetListInfo() {
  m_info.rcColumn.clear();
  if (m_header->IsVisible()) {
    for (int i = 0; i < m_header->GetCount(); ++i) {
      CControlUI* column = m_header->GetItemAt(i);
      if (column->IsVisible()) {
        m_info.rcColumn.push_back(column->GetPos());
      }
    }
  }
  m_info.nColumns = static_cast<int>(m_info.rcColumn.size());
  return &m_info;
}

int CListUI::GetRowCount() const {
  return m_body->GetCount();
}
int CListUI::GetCount() const {
  return m_body->GetCount();
}
CControlUI* CListUI::GetItemAt(int index) const {
  return m_body->GetItemAt(index);
}

bool CListUI::Add(CControlUI* control) {
  return AddAt(control, GetRowCount());
}

bool CListUI::AddAt(CControlUI* control, int index) {
  if (auto* header = dynamic_cast<CListHeaderUI*>(control)) {
    // A header from the layout replaces the empty one.
    CVerticalLayoutUI::Remove(m_header);
    m_header = header;
    return CVerticalLayoutUI::AddAt(header, 0);
  }
  if (auto* row = dynamic_cast<IListItemUI*>(control)) {
    row->SetOwner(this);
  }
  return m_body->AddAt(control, index);
}

bool CListUI::Remove(CControlUI* control) {
  return m_body->Remove(control);
}

void CListUI::RemoveAll() {
  m_body->RemoveAll();
  m_scroll = 0;
}

bool CListUI::SetAttribute(std::string_view name, std::string_view value) {
  if (name == "linecolor") {
    return ParseColor(value, &m_info.dwLineColor);
  }
  if (name == "itemheight") {
    return ParseInts(value, &m_rowHeight, 1) && m_rowHeight > 0;
  }
  if (name == "scrollcolor") {
    return ParseColor(value, &m_scrollColor);
  }
  return CVerticalLayoutUI::SetAttribute(name, value);
}

void CListUI::SetScrollPos(int pos) {
  const int range = std::max(0, m_body->ContentHeight() - m_body->GetPos().GetHeight());
  pos = std::clamp(pos, 0, range);
  if (pos == m_scroll) {
    return;
  }
  m_scroll = pos;
  m_body->SetPos(m_body->GetPos());
  Invalidate();
}

void CListUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEVENT_SCROLLWHEEL) {
    const int step = kWheelRows * (m_rowHeight > 0 ? m_rowHeight : kDefaultRowHeight);
    SetScrollPos(m_scroll + (static_cast<int>(event.wParam) > 0 ? step : -step));
    return;
  }
  CVerticalLayoutUI::DoEvent(event);
}

void CListUI::LayoutChildren() {
  if (m_header->GetCount() > 0) {
    m_header->SetVisible(true);
  }
  CVerticalLayoutUI::LayoutChildren();
  // Rows take their columns from the header, which is laid out now.
  m_body->SetPos(m_body->GetPos());
}

void CListUI::DoPaint(cairo_t* cr, const RECT& clip) {
  CVerticalLayoutUI::DoPaint(cr, clip);
  const CRect body = m_body->GetPos();
  const int content = m_body->ContentHeight();
  if (content > body.GetHeight() && body.GetHeight() > 0) {
    const int thumb = std::max(20, body.GetHeight() * body.GetHeight() / content);
    const int range = content - body.GetHeight();
    const int top = body.top + (body.GetHeight() - thumb) * m_scroll / std::max(1, range);
    CRenderEngine::DrawColor(
        cr, CRect(body.right - kScrollBarWidth - 2, top, body.right - 2, top + thumb),
        m_scrollColor, 2);
  }
}
