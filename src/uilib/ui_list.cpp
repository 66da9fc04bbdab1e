#include "uilib/ui_list.h"

#include <algorithm>
#include <cmath>

#include "uilib/paint_manager.h"
#include "uilib/render_engine.h"

namespace {

constexpr int kDefaultRowHeight = 30;
constexpr int kWheelRows = 3;
constexpr int kScrollBarWidth = 4;
// Presses this near the body's right edge go to the scroll bar: the thumb alone is too thin to
// hit.
constexpr int kScrollBarHitWidth = 12;
constexpr int kMinThumbHeight = 20;
constexpr uint32_t kFocusRingColor = 0xFF4A90E2;

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
  if (IsFocused() && m_manager != nullptr && m_manager->ShowsFocus()) {
    CRenderEngine::DrawRect(cr, m_rect, 2, kFocusRingColor);
  }
}

CControlUI* CListContainerElementUI::FocusableChild() const {
  CControlUI* found = nullptr;
  for (CControlUI* item : m_items) {
    item->ForEach([&found](CControlUI* control) {
      if (found == nullptr && control->IsFocusable() && control->IsEnabled() &&
          control->IsVisibleInTree()) {
        found = control;
      }
    });
  }
  return found;
}

bool CListContainerElementUI::IsFocusable() const {
  return m_enabled && FocusableChild() == nullptr;
}

CControlUI* CListContainerElementUI::GetFocusTarget() {
  if (CControlUI* child = FocusableChild()) {
    return child;
  }
  return IsFocusable() ? this : nullptr;
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
  // Where row `index` begins, from the top of the first row.
  int RowTop(int index) const {
    int top = 0;
    for (int i = 0; i < index; ++i) {
      if (m_items[static_cast<size_t>(i)]->IsVisible()) {
        top += RowHeight(m_items[static_cast<size_t>(i)]);
      }
    }
    return top;
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
  if (!m_body->Remove(control)) {
    return false;
  }
  SetScrollPos(m_scroll);  // the rows left may not reach as far
  return true;
}

void CListUI::RemoveAll() {
  m_body->RemoveAll();
  m_scroll = 0;
}

const AttributeTable<CListUI>& CListUI::Attributes() {
  using namespace attribute;
  static const AttributeTable<CListUI> table = {
      {"linecolor",
       [](CListUI& list, std::string_view value) {
         return ParseColor(value, &list.m_info.dwLineColor);
       }},
      {"itemheight", Number(&CListUI::m_rowHeight, 1)},
      {"scrollcolor", Color(&CListUI::m_scrollColor)},
  };
  return table;
}

bool CListUI::SetAttribute(std::string_view name, std::string_view value) {
  return Attributes().ApplyOrBase<CVerticalLayoutUI>(*this, name, value);
}

int CListUI::ScrollRange() const {
  return std::max(0, m_body->ContentHeight() - m_body->GetPos().GetHeight());
}

void CListUI::SetScrollPos(int pos) {
  pos = std::clamp(pos, 0, ScrollRange());
  if (pos == m_scroll) {
    return;
  }
  m_scroll = pos;
  m_body->SetPos(m_body->GetPos());
  Invalidate();
}

int CListUI::RowIndexOf(const CControlUI* control) const {
  for (int i = 0; i < m_body->GetCount(); ++i) {
    if (m_body->GetItemAt(i)->Holds(control)) {
      return i;
    }
  }
  return -1;
}

void CListUI::EnsureVisible(CControlUI* descendant) {
  const int index = RowIndexOf(descendant);
  const int view = m_body->GetPos().GetHeight();
  if (index < 0 || view <= 0 || !m_body->GetItemAt(index)->IsVisible()) {
    return;
  }
  const int top = m_body->RowTop(index);
  const int bottom = top + m_body->RowHeight(m_body->GetItemAt(index));
  if (top < m_scroll) {
    SetScrollPos(top);
  } else if (bottom > m_scroll + view) {
    SetScrollPos(bottom - view);
  }
}

int CListUI::PageRows() const {
  const int rowHeight = m_rowHeight > 0 ? m_rowHeight : kDefaultRowHeight;
  return std::max(1, m_body->GetPos().GetHeight() / rowHeight);
}

bool CListUI::MoveFocusedRow(WPARAM key) {
  if (key != VK_UP && key != VK_DOWN && key != VK_PRIOR && key != VK_NEXT && key != VK_HOME &&
      key != VK_END) {
    return false;
  }
  const int current = m_manager != nullptr ? RowIndexOf(m_manager->GetFocus()) : -1;
  if (current < 0) {
    return false;
  }
  std::vector<int> shown;  // the visible rows
  for (int i = 0; i < m_body->GetCount(); ++i) {
    if (m_body->GetItemAt(i)->IsVisible()) {
      shown.push_back(i);
    }
  }
  const auto at = std::find(shown.begin(), shown.end(), current);
  if (at == shown.end()) {
    return false;
  }
  const int last = static_cast<int>(shown.size()) - 1;
  int pos = static_cast<int>(at - shown.begin());
  if (key == VK_UP) {
    pos -= 1;
  } else if (key == VK_DOWN) {
    pos += 1;
  } else if (key == VK_PRIOR) {
    pos -= PageRows();
  } else if (key == VK_NEXT) {
    pos += PageRows();
  } else if (key == VK_HOME) {
    pos = 0;
  } else {
    pos = last;
  }
  CControlUI* row = m_body->GetItemAt(shown[static_cast<size_t>(std::clamp(pos, 0, last))]);
  if (CControlUI* target = row->GetFocusTarget()) {
    m_manager->SetFocus(target);
  }
  EnsureVisible(row);
  return true;
}

bool CListUI::ScrollThumb(CRect* thumb) const {
  const CRect body = m_body->GetPos();
  const int content = m_body->ContentHeight();
  const int view = body.GetHeight();
  if (view <= 0 || content <= view) {
    return false;
  }
  const int size = std::min(view, std::max(kMinThumbHeight, view * view / content));
  const int top = body.top + (view - size) * m_scroll / (content - view);
  *thumb = CRect(body.right - kScrollBarWidth - 2, top, body.right - 2, top + size);
  return true;
}

CRect CListUI::ScrollBarZone() const {
  const CRect body = m_body->GetPos();
  return CRect(std::max(body.left, body.right - kScrollBarHitWidth), body.top, body.right,
               body.bottom);
}

CControlUI* CListUI::FindControlAt(POINT point) {
  CRect thumb;
  if (m_visible && ScrollThumb(&thumb) && ScrollBarZone().Contains(point)) {
    return this;
  }
  return CVerticalLayoutUI::FindControlAt(point);
}

void CListUI::DoEvent(TEventUI& event) {
  CRect thumb;
  switch (event.Type) {
    case UIEVENT_SCROLLWHEEL: {
      const int step = kWheelRows * (m_rowHeight > 0 ? m_rowHeight : kDefaultRowHeight);
      SetScrollPos(m_scroll + (static_cast<int>(event.wParam) > 0 ? step : -step));
      return;
    }
    case UIEVENT_KEYDOWN:
      if (MoveFocusedRow(event.wParam)) {
        return;
      }
      break;
    case UIEVENT_BUTTONDOWN:
      if (ScrollBarZone().Contains(event.ptMouse) && ScrollThumb(&thumb)) {
        if (event.ptMouse.y >= thumb.top && event.ptMouse.y < thumb.bottom) {
          m_thumbGrab = event.ptMouse.y - thumb.top;
        } else {
          const int page = m_body->GetPos().GetHeight();
          SetScrollPos(m_scroll + (event.ptMouse.y < thumb.top ? -page : page));
        }
        return;
      }
      break;
    case UIEVENT_MOUSEMOVE:
      if (m_thumbGrab >= 0 && ScrollThumb(&thumb)) {
        // The thumb follows the pointer; its travel maps onto the scroll range.
        const CRect body = m_body->GetPos();
        const int travel = body.GetHeight() - thumb.GetHeight();
        const int top = event.ptMouse.y - m_thumbGrab - body.top;
        SetScrollPos(travel > 0 ? static_cast<int>(std::lround(static_cast<double>(top) *
                                                               ScrollRange() / travel))
                                : 0);
        return;
      }
      break;
    case UIEVENT_BUTTONUP:
      if (m_thumbGrab >= 0) {
        m_thumbGrab = -1;
        return;
      }
      break;
    default:
      break;
  }
  CVerticalLayoutUI::DoEvent(event);
}

void CListUI::LayoutChildren() {
  if (m_header->GetCount() > 0) {
    m_header->SetVisible(true);
  }
  CVerticalLayoutUI::LayoutChildren();
  // The body may have grown, or rows gone: the scroll position stays within the rows.
  m_scroll = std::clamp(m_scroll, 0, ScrollRange());
  // Rows take their columns from the header, which is laid out now.
  m_body->SetPos(m_body->GetPos());
}

void CListUI::DoPaint(cairo_t* cr, const RECT& clip) {
  CVerticalLayoutUI::DoPaint(cr, clip);
  CRect thumb;
  if (ScrollThumb(&thumb)) {
    CRenderEngine::DrawColor(cr, thumb, m_scrollColor, 2);
  }
}
