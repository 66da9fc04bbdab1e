// The keyboard on the headless back end: one focus chain over drawn controls and native text
// fields, what Space and Enter may activate, the focus ring, and lists that scroll with the
// keyboard, to the focus and with their scroll bar.

#include <gtest/gtest.h>

#include "layout_window.h"
#include "platform/posted_messages.h"
#include "support/headless_window_test.h"
#include "uilib/dialog_builder.h"
#include "uilib/headless/headless_backend.h"
#include "uilib/ui_button.h"
#include "uilib/ui_edit.h"
#include "uilib/ui_list.h"

namespace {

// The list's body is 220 pixels high: 11 rows of 20 show at once.
const char* kLayout = R"(<Window size="400,300">
  <VerticalLayout>
    <HorizontalLayout height="30">
      <Button name="first" text="1" width="40"/>
      <Edit name="edit" width="100" bordersize="1" bordercolor="#FFCCCCCC"/>
      <Button name="hidden" text="h" width="40" visible="false"/>
      <Button name="disabled" text="d" width="40" enabled="false"/>
      <Label text="label" width="40"/>
      <HorizontalLayout name="box" width="100">
        <Option name="check" text="c" width="50"/>
        <Edit name="inner" width="50"/>
      </HorizontalLayout>
    </HorizontalLayout>
    <List name="list" itemheight="20">
      <ListHeader height="20">
        <ListHeaderItem text="a" width="40"/>
        <ListHeaderItem text="b"/>
      </ListHeader>
    </List>
    <HorizontalLayout height="30">
      <Button name="last" text="z" width="40"/>
      <Edit name="off" width="60" enabled="false"/>
    </HorizontalLayout>
  </VerticalLayout>
</Window>)";

constexpr int kBodyHeight = 220;
constexpr int kRowHeight = 20;
constexpr uint32_t kRingColor = 0xFF4A90E2;

class KeyboardTest : public HeadlessWindowTest<LayoutWindow> {
 protected:
  KeyboardTest() : HeadlessWindowTest(kLayout) {}
  void SetUp() override {
    HeadlessWindowTest::SetUp();
    if (HasFatalFailure()) {
      return;
    }
    m_list = static_cast<CListUI*>(Find(L"list"));
    m_pm().UpdateLayout();
    m_window->notes.clear();  // "windowinit"
  }

  CPaintManagerUI& m_pm() { return m_window->Manager(); }
  CControlUI* Focus() { return m_pm().GetFocus(); }
  void Key(WPARAM key, bool shift = false) { m_backend->Key(Hwnd(), key, shift); }
  HeadlessNativeEdit* Native(const wchar_t* name) {
    // Native fields are made in layout order.
    const std::vector<const wchar_t*> order{L"edit", L"inner", L"off"};
    for (size_t i = 0; i < order.size(); ++i) {
      if (std::wstring(order[i]) == name) {
        return m_backend->edits.at(i);
      }
    }
    return nullptr;
  }

  // `count` rows: a tick and a label each, or the label alone.
  void AddRows(int count, bool withTick = true) {
    CDialogBuilder builder;
    for (int i = 0; i < count; ++i) {
      const std::string tick = withTick ? "<Option name=\"tick\" width=\"30\"/>" : "";
      ASSERT_TRUE(m_list->Add(builder.CreateFromText(
          "<ListContainerElement>" + tick + "<Label name=\"label\" text=\"r" + std::to_string(i) +
              "\"/></ListContainerElement>",
          nullptr, &m_pm(), nullptr)));
    }
    m_pm().UpdateLayout();
  }
  CControlUI* Row(int index) { return m_list->GetItemAt(index); }
  COptionUI* Tick(int index) {
    return static_cast<COptionUI*>(static_cast<CContainerUI*>(Row(index))->GetItemAt(0));
  }
  CRect Body() {
    const CRect list = m_list->GetPos();
    return CRect(list.left, list.bottom - kBodyHeight, list.right, list.bottom);
  }
  // The row lies wholly within the list's body.
  bool RowShows(int index) {
    m_pm().UpdateLayout();
    const CRect row = Row(index)->GetPos();
    return row.top >= Body().top && row.bottom <= Body().bottom;
  }
  uint32_t Pixel(POINT point) {
    cairo_surface_t* surface = m_backend->Render(Hwnd());
    const uint32_t pixel = PixelAt(surface, point);
    cairo_surface_destroy(surface);
    return pixel;
  }
  // The middle of the control's left edge, where a focus ring is drawn.
  uint32_t LeftEdge(const CControlUI* control) {
    const CRect& rect = control->GetPos();
    return Pixel({rect.left, (rect.top + rect.bottom) / 2});
  }

  CListUI* m_list = nullptr;
};

TEST_F(KeyboardTest, TabVisitsEveryFocusableControlInLayoutOrderAndWrapsBothWays) {
  AddRows(2);
  const std::vector<CControlUI*> chain{Find(L"first"), Find(L"edit"), Find(L"check"),
                                       Find(L"inner"), Tick(0),       Tick(1),
                                       Find(L"last")};
  for (int round = 0; round < 2; ++round) {
    for (CControlUI* expected : chain) {
      Key(VK_TAB);
      ASSERT_EQ(Focus(), expected) << "round " << round << ", at " << expected->GetName();
      EXPECT_TRUE(m_pm().ShowsFocus());
      // A native field has the keyboard exactly while it is the focused control.
      EXPECT_EQ(Native(L"edit")->m_focused, expected == Find(L"edit"));
      EXPECT_EQ(Native(L"inner")->m_focused, expected == Find(L"inner"));
    }
  }
  for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) {
    Key(VK_TAB, true);
    ASSERT_EQ(Focus(), *it);
  }
  Key(VK_TAB, true);
  EXPECT_EQ(Focus(), chain.back());  // Shift+Tab wraps from the first to the last
  EXPECT_FALSE(Native(L"off")->m_focused);

  // Hiding a container takes its controls out of the chain.
  Find(L"box")->SetVisible(false);
  Key(VK_TAB);
  Key(VK_TAB);
  EXPECT_EQ(Focus(), Find(L"edit"));
  Key(VK_TAB);
  EXPECT_EQ(Focus(), Tick(0));
  EXPECT_TRUE(m_window->notes.empty());  // moving the focus activates nothing
}

TEST_F(KeyboardTest, AClickIntoANativeFieldFocusesItAndEnterThereSendsReturn) {
  m_backend->Click(Hwnd(), Center(Find(L"last")));
  EXPECT_EQ(Focus(), Find(L"last"));
  Native(L"edit")->UserFocus();
  EXPECT_EQ(Focus(), Find(L"edit"));
  EXPECT_FALSE(m_pm().ShowsFocus());
  // Tab goes on from the field along the library's chain, and back.
  Key(VK_TAB);
  EXPECT_EQ(Focus(), Find(L"check"));
  EXPECT_FALSE(Native(L"edit")->m_focused);
  Key(VK_TAB, true);
  EXPECT_EQ(Focus(), Find(L"edit"));
  EXPECT_TRUE(Native(L"edit")->m_focused);
  m_window->notes.clear();
  Key(VK_RETURN);
  EXPECT_EQ(m_window->notes, std::vector<std::wstring>{L"return:edit"});

  // Disabled, the field loses the focus and takes no typing; Enter then reaches nothing.
  m_window->notes.clear();
  Find(L"edit")->SetEnabled(false);
  EXPECT_EQ(Focus(), nullptr);
  EXPECT_FALSE(Native(L"edit")->m_enabled);
  Key(VK_RETURN);
  EXPECT_TRUE(m_window->notes.empty());
  Find(L"edit")->SetEnabled(true);
  EXPECT_TRUE(Native(L"edit")->m_enabled);
}

TEST_F(KeyboardTest, SpaceAndEnterNeverActivateAHiddenOrDisabledControl) {
  CControlUI* last = Find(L"last");
  Key(VK_TAB, true);
  ASSERT_EQ(Focus(), last);
  Key(VK_SPACE);
  Key(VK_RETURN);
  EXPECT_EQ(m_window->notes, (std::vector<std::wstring>{L"click:last", L"click:last"}));

  // Its parent hidden: the focus goes, and the keys reach nothing.
  m_window->notes.clear();
  last->GetParent()->SetVisible(false);
  EXPECT_EQ(Focus(), nullptr);
  Key(VK_SPACE);
  Key(VK_RETURN);
  EXPECT_TRUE(m_window->notes.empty());

  // Disabled while focused: the same.
  last->GetParent()->SetVisible(true);
  Key(VK_TAB, true);
  ASSERT_EQ(Focus(), last);
  last->SetEnabled(false);
  Key(VK_SPACE);
  Key(VK_RETURN);
  EXPECT_TRUE(m_window->notes.empty());
  last->SetEnabled(true);

  // Given the focus while hidden or disabled (by the program), they still do nothing.
  for (const wchar_t* name : {L"hidden", L"disabled"}) {
    m_pm().SetFocus(Find(name));
    Key(VK_SPACE);
    Key(VK_RETURN);
    EXPECT_NE(Focus(), Find(name)) << name;
    static_cast<CButtonUI*>(Find(name))->Activate();
  }
  auto* check = static_cast<COptionUI*>(Find(L"check"));
  Find(L"box")->SetVisible(false);
  check->Activate();
  EXPECT_FALSE(check->IsSelected());
  EXPECT_TRUE(m_window->notes.empty());
}

TEST_F(KeyboardTest, TheFocusedControlIsDrawnWithAFocusRing) {
  AddRows(12, false);  // rows without a tick take the focus themselves
  CControlUI* first = Find(L"first");
  const uint32_t plain = LeftEdge(first);
  ASSERT_NE(plain, kRingColor);
  Key(VK_TAB);
  ASSERT_EQ(Focus(), first);
  EXPECT_EQ(LeftEdge(first), kRingColor);
  // The mouse moves the focus without the ring; the keyboard brings it back.
  m_backend->Click(Hwnd(), Center(first));
  EXPECT_EQ(LeftEdge(first), plain);
  Key(VK_TAB);
  ASSERT_EQ(Focus(), Find(L"edit"));
  EXPECT_EQ(LeftEdge(first), plain);
  EXPECT_EQ(LeftEdge(Find(L"edit")), kRingColor);
  // A text field shows it also when clicked into.
  Native(L"inner")->UserFocus();
  EXPECT_NE(LeftEdge(Find(L"edit")), kRingColor);
  EXPECT_EQ(LeftEdge(Find(L"inner")), kRingColor);
  Key(VK_TAB);
  ASSERT_EQ(Focus(), Row(0));
  EXPECT_EQ(LeftEdge(Row(0)), kRingColor);
  Key(VK_DOWN);
  EXPECT_EQ(Focus(), Row(1));
  EXPECT_EQ(LeftEdge(Row(1)), kRingColor);
  EXPECT_NE(LeftEdge(Row(0)), kRingColor);
}

TEST_F(KeyboardTest, FocusingARowOutOfSightScrollsToItAndRemovingRowsClampsTheScroll) {
  AddRows(20);
  ASSERT_EQ(m_list->GetScrollPos(), 0);
  ASSERT_FALSE(RowShows(15));
  Tick(15)->SetFocus();
  EXPECT_EQ(m_list->GetScrollPos(), 16 * kRowHeight - kBodyHeight);
  EXPECT_TRUE(RowShows(15));
  Tick(2)->SetFocus();
  EXPECT_EQ(m_list->GetScrollPos(), 2 * kRowHeight);
  EXPECT_TRUE(RowShows(2));
  // Tab into the list from above starts at its first row, and that row shows.
  m_list->SetScrollPos(1000);
  EXPECT_EQ(m_list->GetScrollPos(), 20 * kRowHeight - kBodyHeight);
  m_pm().SetFocus(Find(L"inner"));
  Key(VK_TAB);
  EXPECT_EQ(Focus(), Tick(0));
  EXPECT_EQ(m_list->GetScrollPos(), 0);

  // At the bottom, removing rows pulls the scroll position back to what the rest can reach.
  m_list->SetScrollPos(1000);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(m_list->Remove(Row(m_list->GetCount() - 1)));
  }
  EXPECT_EQ(m_list->GetScrollPos(), 17 * kRowHeight - kBodyHeight);
  while (m_list->GetCount() > 10) {
    m_list->Remove(Row(0));
  }
  EXPECT_EQ(m_list->GetScrollPos(), 0);
  m_pm().UpdateLayout();
  EXPECT_EQ(Row(0)->GetPos().top, Body().top);

  // Rows hidden: the next layout clamps it too.
  AddRows(10);
  m_list->SetScrollPos(1000);
  ASSERT_GT(m_list->GetScrollPos(), 0);
  for (int i = 0; i < 10; ++i) {
    Row(i)->SetVisible(false);
  }
  m_pm().UpdateLayout();
  EXPECT_EQ(m_list->GetScrollPos(), 0);
  EXPECT_EQ(Row(10)->GetPos().top, Body().top);
}

TEST_F(KeyboardTest, ArrowsPagesHomeAndEndMoveTheFocusedRowAndKeepItInSight) {
  AddRows(20);
  // Keys for the list do nothing while the focus is elsewhere.
  Key(VK_TAB);
  ASSERT_EQ(Focus(), Find(L"first"));
  Key(VK_END);
  EXPECT_EQ(Focus(), Find(L"first"));
  EXPECT_EQ(m_list->GetScrollPos(), 0);

  Tick(0)->SetFocus();
  struct Step {
    WPARAM key;
    int row;  // the focused row after the key
  };
  const int page = kBodyHeight / kRowHeight;
  const Step steps[] = {
      {VK_DOWN, 1},          {VK_DOWN, 2},  {VK_UP, 1},      {VK_END, 19},  {VK_UP, 18},
      {VK_HOME, 0},          {VK_UP, 0},    {VK_NEXT, page}, {VK_NEXT, 19}, {VK_DOWN, 19},
      {VK_PRIOR, 19 - page}, {VK_PRIOR, 0}, {VK_NEXT, page},
  };
  for (const Step& step : steps) {
    Key(step.key);
    ASSERT_EQ(Focus(), Tick(step.row)) << "key " << step.key;
    EXPECT_TRUE(RowShows(step.row)) << "key " << step.key;
  }
  EXPECT_GT(m_list->GetScrollPos(), 0);

  // Space on the focused row ticks it, and again unticks it; the other rows stay as they were.
  m_window->notes.clear();
  Key(VK_SPACE);
  EXPECT_TRUE(Tick(page)->IsSelected());
  Key(VK_SPACE);
  EXPECT_FALSE(Tick(page)->IsSelected());
  EXPECT_EQ(m_window->notes, (std::vector<std::wstring>{L"click:tick", L"selectchanged:tick",
                                                        L"click:tick", L"selectchanged:tick"}));
  // A click on a row's text focuses the row (its tick) without ticking it.
  m_window->notes.clear();
  m_pm().UpdateLayout();
  CControlUI* label = static_cast<CContainerUI*>(Row(page - 1))->GetItemAt(1);
  m_backend->Click(Hwnd(), Center(label));
  EXPECT_EQ(Focus(), Tick(page - 1));
  EXPECT_TRUE(m_window->notes.empty());
  Key(VK_SPACE);
  EXPECT_TRUE(Tick(page - 1)->IsSelected());

  // Hidden rows are passed over.
  Row(page)->SetVisible(false);
  m_pm().UpdateLayout();
  Key(VK_DOWN);
  EXPECT_EQ(Focus(), Tick(page + 1));
}

TEST_F(KeyboardTest, DraggingTheScrollBarsThumbScrollsTheList) {
  AddRows(20);
  const CRect body = Body();
  const int range = 20 * kRowHeight - kBodyHeight;
  const int thumb = kBodyHeight * kBodyHeight / (20 * kRowHeight);
  const int travel = kBodyHeight - thumb;
  const int x = body.right - 4;
  m_backend->Click(Hwnd(), Center(Find(L"first")));
  m_window->notes.clear();

  m_backend->MouseMove(Hwnd(), {x, body.top + 10});
  m_backend->MouseDown(Hwnd(), {x, body.top + 10});
  m_backend->MouseMove(Hwnd(), {x, body.top + 10 + travel / 2});
  EXPECT_NEAR(m_list->GetScrollPos(), range / 2, 2);
  m_backend->MouseMove(Hwnd(), {x, body.bottom + 100});  // beyond the end
  EXPECT_EQ(m_list->GetScrollPos(), range);
  m_backend->MouseMove(Hwnd(), {x, body.top + 10 + travel / 4});
  EXPECT_NEAR(m_list->GetScrollPos(), range / 4, 2);
  m_backend->MouseUp(Hwnd(), {x, body.top + 10 + travel / 4});
  const int dropped = m_list->GetScrollPos();
  m_backend->MouseMove(Hwnd(), {x, body.top + 200});
  EXPECT_EQ(m_list->GetScrollPos(), dropped);  // released: the pointer no longer drags it
  // The bar is no row: pressing it neither ticks a row nor takes the focus.
  EXPECT_TRUE(m_window->notes.empty());
  EXPECT_EQ(Focus(), Find(L"first"));

  // A press on the bar below the thumb scrolls a page down, above it a page up.
  m_backend->Click(Hwnd(), {x, body.bottom - 2});
  EXPECT_EQ(m_list->GetScrollPos(), std::min(range, dropped + kBodyHeight));
  m_backend->Click(Hwnd(), {x, body.top + 2});
  EXPECT_EQ(m_list->GetScrollPos(), 0);
  // With rows that fit there is no bar: a press there reaches the row.
  while (m_list->GetCount() > 3) {
    m_list->Remove(Row(m_list->GetCount() - 1));
  }
  m_pm().UpdateLayout();
  m_backend->Click(Hwnd(), {x, Center(Row(1)).y});
  EXPECT_EQ(Focus(), Tick(1));
}

TEST_F(KeyboardTest, AListsItemsAreItsRowsThroughEitherView) {
  AddRows(20);
  CContainerUI* asContainer = m_list;
  EXPECT_EQ(asContainer->GetCount(), 20);
  EXPECT_EQ(m_list->GetCount(), 20);
  for (int i : {0, 7, 19}) {
    EXPECT_EQ(asContainer->GetItemAt(i), m_list->GetItemAt(i));
    EXPECT_NE(dynamic_cast<CListContainerElementUI*>(asContainer->GetItemAt(i)), nullptr);
  }
  EXPECT_EQ(asContainer->GetItemAt(20), nullptr);
  EXPECT_EQ(asContainer->GetItemAt(-1), nullptr);
  // Adding and removing through the base act on the rows too.
  auto* row = new CListContainerElementUI;
  ASSERT_TRUE(asContainer->Add(row));
  EXPECT_EQ(m_list->GetItemAt(20), row);
  ASSERT_TRUE(asContainer->Remove(row));
  EXPECT_EQ(m_list->GetCount(), 20);
  EXPECT_EQ(m_list->GetHeader()->GetCount(), 2);
}

TEST_F(KeyboardTest, ANativeFieldFollowsItsControlsEnabledStateAndItsParentsVisibility) {
  // enabled="false" in the layout: the field takes no typing and no focus.
  EXPECT_FALSE(Native(L"off")->m_enabled);
  EXPECT_TRUE(Native(L"edit")->m_enabled);
  m_pm().SetFocus(Find(L"off"));
  EXPECT_FALSE(Native(L"off")->m_focused);
  Find(L"off")->SetEnabled(true);
  EXPECT_TRUE(Native(L"off")->m_enabled);

  // A hidden parent hides the field; shown again, the field shows unless hidden itself.
  CControlUI* box = Find(L"box");
  CControlUI* inner = Find(L"inner");
  box->SetVisible(false);
  EXPECT_FALSE(Native(L"inner")->m_visible);
  box->SetVisible(true);
  EXPECT_TRUE(Native(L"inner")->m_visible);
  inner->SetVisible(false);
  box->SetVisible(false);
  box->SetVisible(true);
  EXPECT_FALSE(Native(L"inner")->m_visible);
  inner->SetVisible(true);
  EXPECT_TRUE(Native(L"inner")->m_visible);
  // The whole window's tree hidden at its root.
  m_pm().GetRoot()->SetVisible(false);
  EXPECT_FALSE(Native(L"edit")->m_visible);
  EXPECT_FALSE(Native(L"off")->m_visible);
  m_pm().GetRoot()->SetVisible(true);
  EXPECT_TRUE(Native(L"edit")->m_visible);

  // A field made under a hidden parent starts hidden, and one moved under it hides.
  LayoutWindow other(R"(<Window size="200,100"><VerticalLayout>
      <HorizontalLayout name="shut" visible="false"><Edit name="e"/></HorizontalLayout>
      <HorizontalLayout name="open"/></VerticalLayout></Window>)");
  ASSERT_NE(other.Create(nullptr, L"other", 0, 0, 0, 0, 200, 100), nullptr);
  ASSERT_EQ(m_backend->edits.size(), 4u);
  EXPECT_FALSE(m_backend->edits[3]->m_visible);
  auto* shut = static_cast<CContainerUI*>(other.Find(L"shut"));
  auto* open = static_cast<CContainerUI*>(other.Find(L"open"));
  shut->SetVisible(true);
  EXPECT_TRUE(m_backend->edits[3]->m_visible);
  open->SetVisible(false);
  ASSERT_TRUE(open->Add(new CEditUI));
  ASSERT_EQ(m_backend->edits.size(), 5u);
  EXPECT_FALSE(m_backend->edits[4]->m_visible);
  open->SetVisible(true);
  EXPECT_TRUE(m_backend->edits[4]->m_visible);
}

}  // namespace
