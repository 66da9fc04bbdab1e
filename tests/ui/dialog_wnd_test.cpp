// The program's window base on the headless back end: the non-client messages, the caption band
// that drags the window, the shape with rounded top corners, the close commands; and the album
// list's rows, which draw their list's column separators.

#include <gtest/gtest.h>

#include "platform/posted_messages.h"
#include "support/headless_window_test.h"
#include "support/layout_dialog.h"
#include "ui/album_list_item.h"
#include "uilib/headless/headless_backend.h"
#include "uilib/ui_list.h"

namespace {

// A caption band with each kind of control a band may hold, and a list of three columns.
const char* kLayout =
    R"(<Window size="400,300" caption="0,0,0,40" roundcorner="8,8" bkcolor="#FFF4F6F8">
  <VerticalLayout><HorizontalLayout height="40" bkcolor="#FF2F80ED">
    <Label name="title" text="标题"/><Text name="link" text="link" width="40"/>
    <Option name="pick" text="p" width="30"/><Button name="closebtn" text="x" width="30"/>
  </HorizontalLayout><List name="list" linecolor="#FF000000" itemheight="20">
    <ListHeader height="24"><ListHeaderItem text="one" width="100"/>
      <ListHeaderItem text="two" width="100"/><ListHeaderItem text="three"/></ListHeader>
  </List></VerticalLayout>
</Window>)";

class DialogWndTest : public HeadlessWindowTest<LayoutDialog> {
 protected:
  DialogWndTest() : HeadlessWindowTest(kLayout) {}
  // What the window answers for WM_NCHITTEST at a point of its client area.
  LRESULT HitTest(POINT client) {
    const RECT window = m_window->GetWindowRect();
    return m_window->SendMessage(WM_NCHITTEST, 0,
                                 MAKELPARAM(window.left + client.x, window.top + client.y));
  }
  static POINT Middle(const CControlUI* control) {
    const CRect& rect = control->GetPos();
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  }
};

TEST_F(DialogWndTest, CreatingFromTheSkinLayoutBuildsTheTreeAndAnnouncesTheWindow) {
  EXPECT_EQ(m_window->GetClientRect().right, 400);
  EXPECT_EQ(Find(L"title")->GetText(), L"标题");
  m_backend->RunUntilIdle();
  EXPECT_EQ(m_window->notes, std::vector<std::wstring>{L"windowinit:"});
}

TEST_F(DialogWndTest, NonClientMessagesAreAnsweredAndMaximisedFillsTheWorkArea) {
  EXPECT_EQ(m_window->SendMessage(WM_NCACTIVATE, 0, 0), 1);
  EXPECT_EQ(m_window->SendMessage(WM_NCACTIVATE, 1, 0), 0);
  EXPECT_EQ(m_window->SendMessage(WM_NCCALCSIZE, 0, 0), 0);
  MINMAXINFO info{};
  m_backend->workArea = {100, 50, 1100, 850};
  m_window->SendMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMaxSize.x, 1000);
  EXPECT_EQ(info.ptMaxSize.y, 800);
  EXPECT_EQ(info.ptMaxPosition.x, 0);
}

TEST_F(DialogWndTest, TheCaptionBandDragsTheWindowButItsButtonsOptionsAndTextsStayClickable) {
  EXPECT_EQ(HitTest({5, 5}), HTCAPTION);
  EXPECT_EQ(HitTest(Middle(Find(L"closebtn"))), HTCLIENT);
  EXPECT_EQ(HitTest(Middle(Find(L"pick"))), HTCLIENT);
  EXPECT_EQ(HitTest(Middle(Find(L"link"))), HTCLIENT);
  EXPECT_EQ(HitTest({5, 100}), HTCLIENT);
  m_backend->MouseDown(Hwnd(), {5, 5});
  EXPECT_EQ(m_backend->Window(Hwnd())->moveDrags, 1);
  m_window->m_paintManager.SetCaptionRect({0, 0, 0, 0});
  EXPECT_EQ(HitTest({5, 5}), HTCLIENT);
}

TEST_F(DialogWndTest, TheShapeIsRoundedAtBothTopCornersAlikeAndKeptWhileMinimised) {
  const std::vector<RECT>& shape = m_backend->Window(Hwnd())->shape;
  ASSERT_FALSE(shape.empty());
  EXPECT_EQ(shape[0].top, 8);
  EXPECT_EQ(shape[0].bottom, 300);
  EXPECT_GT(shape[1].left, 0);  // the first row is inset by the corner
  for (size_t row = 1; row < shape.size(); ++row) {
    EXPECT_EQ(shape[row].left, 400 - shape[row].right) << "row " << row;
  }
  EXPECT_EQ(TopRoundedRegion({0, 0, 400, 300}, {0, 0}).size(), 0u);

  m_backend->MinimizeNativeWindow(Hwnd());
  m_backend->SetNativeWindowShape(Hwnd(), {});
  m_window->SendMessage(WM_SIZE, 0, 0);
  EXPECT_TRUE(m_backend->Window(Hwnd())->shape.empty());
}

TEST_F(DialogWndTest, AltF4EndsTheLoopWithoutDestroyingTheWindow) {
  m_backend->System(Hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(m_backend->quitCode.has_value());
  EXPECT_EQ(*m_backend->quitCode, 0);
  EXPECT_NE(WindowFromHandle(Hwnd()), nullptr);
}

TEST_F(DialogWndTest, TheCloseCommandHidesTheWindowOrClosesItWhenAskedTo) {
  const HWND hwnd = Hwnd();
  m_window->ShowWindow(true, true);
  m_window->OnCloseCommand();
  EXPECT_FALSE(m_backend->IsNativeWindowVisible(hwnd));
  EXPECT_NE(WindowFromHandle(hwnd), nullptr);
  EXPECT_FALSE(m_backend->quitCode.has_value());

  bool gone = false;
  m_window->gone = &gone;
  m_window->m_destroyOnClose = 1;
  m_window->OnCloseCommand();
  m_backend->RunUntilIdle();
  EXPECT_TRUE(gone);
  EXPECT_TRUE(m_backend->quitCode.has_value());  // its WM_DESTROY ends the loop
}

TEST_F(DialogWndTest, AlbumRowsDrawTheirListsColumnSeparators) {
  auto* list = static_cast<CListUI*>(Find(L"list"));
  auto* row = new CAlbumListItemUI;
  ASSERT_TRUE(list->Add(row));
  cairo_surface_t* surface = m_backend->Render(Hwnd());
  ASSERT_NE(surface, nullptr);
  const int stride = cairo_image_surface_get_stride(surface);
  const auto pixel = [&](int x, int y) {
    return *reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface) + y * stride +
                                              x * 4);
  };
  const CRect rect = row->GetPos();
  const int middle = (rect.top + rect.bottom) / 2;
  for (int column = 0; column < 2; ++column) {
    const int edge = list->GetHeader()->GetItemAt(column)->GetPos().right - 1;
    EXPECT_EQ(pixel(edge, middle), 0xFF000000u) << "column " << column;  // a separator
    EXPECT_NE(pixel(edge + 3, middle), 0xFF000000u) << "column " << column;
  }
  cairo_surface_destroy(surface);
}

}  // namespace
