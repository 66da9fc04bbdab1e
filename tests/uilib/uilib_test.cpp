#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "layout_window.h"
#include "platform/posted_messages.h"
#include "support/headless_window_test.h"
#include "support/temp_dir.h"
#include "uilib/dialog_builder.h"
#include "uilib/headless/headless_backend.h"
#include "uilib/render_engine.h"
#include "uilib/resources.h"
#include "uilib/ui_activex.h"
#include "uilib/ui_button.h"
#include "uilib/ui_edit.h"
#include "uilib/ui_list.h"

namespace {

constexpr UINT WM_TEST = WM_USER + 500;

const char* kLayout = R"(<?xml version="1.0" encoding="UTF-8"?>
<Window size="400,300" caption="0,0,0,40" roundcorner="8,8" bkcolor="#FFF4F6F8">
  <VerticalLayout>
    <HorizontalLayout height="40" bkcolor="#FF2F80ED">
      <Label name="title" text="标题" textcolor="#FFFFFFFF"/>
      <Text name="link" text="link" width="40"/>
      <Button name="minbtn" text="-" width="30"/>
      <Button name="closebtn" text="x" width="30"/>
    </HorizontalLayout>
    <HorizontalLayout height="30" childpadding="4" inset="8,0,8,0">
      <Edit name="edit" width="120" bordersize="1" bordercolor="#FFCCCCCC"/>
      <Button name="ok" text="OK" width="60" hotbkcolor="#FFDDEEFF"/>
      <Option name="a" text="A" group="g" width="50"/>
      <Option name="b" text="B" group="g" width="50" selected="true"/>
      <Option name="check" text="tick" width="60"/>
    </HorizontalLayout>
    <List name="list" linecolor="#FF000000" itemheight="20">
      <ListHeader height="24">
        <ListHeaderItem text="one" width="100"/>
        <ListHeaderItem text="two" width="100"/>
        <ListHeaderItem text="three"/>
      </ListHeader>
    </List>
    <ActiveX name="ie" height="20"/>
  </VerticalLayout>
</Window>)";

// A layout window that also records the test messages its filter sees and those that reach it:
// the filter takes the even ones.
class TestWindow : public LayoutWindow {
 public:
  using LayoutWindow::LayoutWindow;
  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM, bool& bHandled) override {
    if (uMsg == WM_TEST) {
      filtered.push_back(static_cast<int>(wParam));
      bHandled = wParam % 2 == 0;
    }
    return 0;
  }
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
    if (uMsg == WM_TEST) {
      handled.push_back(static_cast<int>(wParam));
      return 0;
    }
    return LayoutWindow::HandleMessage(uMsg, wParam, lParam);
  }

  std::vector<int> filtered;
  std::vector<int> handled;
};

class UilibTest : public HeadlessWindowTest<TestWindow> {
 protected:
  UilibTest() : HeadlessWindowTest(kLayout) {}
};

TEST_F(UilibTest, LayoutBuildsEveryKindAndSetsTheWindow) {
  CPaintManagerUI& pm = m_window->Manager();
  EXPECT_EQ(m_window->GetClientRect().right, 400);  // the layout's size
  EXPECT_EQ(m_window->GetClientRect().bottom, 300);
  EXPECT_EQ(pm.GetCaptionRect().bottom, 40);
  EXPECT_EQ(pm.GetRoundCorner().cx, 8);
  EXPECT_EQ(Find(L"title")->GetClass(), L"LabelUI");
  EXPECT_EQ(Find(L"link")->GetClass(), L"TextUI");
  EXPECT_EQ(Find(L"ok")->GetClass(), L"ButtonUI");
  EXPECT_EQ(Find(L"a")->GetClass(), L"OptionUI");
  EXPECT_EQ(Find(L"edit")->GetClass(), L"EditUI");
  EXPECT_EQ(Find(L"list")->GetClass(), L"ListUI");
  EXPECT_EQ(Find(L"ie")->GetClass(), L"ActiveXUI");
  EXPECT_EQ(Find(L"missing"), nullptr);
  EXPECT_EQ(Find(L"title")->GetText(), L"标题");
  // Fixed sizes are kept; the rest share what is left.
  EXPECT_EQ(Find(L"closebtn")->GetPos().GetWidth(), 30);
  EXPECT_EQ(Find(L"closebtn")->GetPos().right, 400);
  EXPECT_EQ(Find(L"title")->GetPos().GetWidth(), 400 - 40 - 30 - 30);
  EXPECT_EQ(Find(L"edit")->GetPos().left, 8);
  EXPECT_EQ(Find(L"ok")->GetPos().left, 8 + 120 + 4);
  // The native entry sits over the edit control, inside its border.
  ASSERT_EQ(m_backend->edits.size(), 1u);
  EXPECT_EQ(m_backend->edits[0]->m_rect.left, 9);
  Find(L"edit")->SetText(L"12345");
  EXPECT_EQ(m_backend->edits[0]->GetText(), L"12345");
  m_backend->edits[0]->SetText(L"typed");
  EXPECT_EQ(Find(L"edit")->GetText(), L"typed");
}

TEST_F(UilibTest, BuilderNamesWhatIsWrong) {
  CDialogBuilder builder;
  CPaintManagerUI pm;
  EXPECT_EQ(builder.CreateFromText("<Window><Label colour=\"#FF000000\"/></Window>", nullptr, &pm,
                                   nullptr),
            nullptr);
  EXPECT_NE(builder.GetLastError().find("colour"), std::string::npos);
  EXPECT_EQ(
      builder.CreateFromText("<VerticalLayout><Widget/></VerticalLayout>", nullptr, &pm, nullptr),
      nullptr);
  EXPECT_NE(builder.GetLastError().find("<Widget>"), std::string::npos);
  EXPECT_EQ(builder.CreateFromText("<Label><Label/></Label>", nullptr, &pm, nullptr), nullptr);
  EXPECT_NE(builder.GetLastError().find("cannot hold"), std::string::npos);
  EXPECT_EQ(builder.CreateFromText("<Button width=\"wide\"/>", nullptr, &pm, nullptr), nullptr);
  EXPECT_EQ(builder.CreateFromText("<Window size=\"1\"><Label/></Window>", nullptr, &pm, nullptr),
            nullptr);
  EXPECT_EQ(builder.CreateFromText("<broken", nullptr, &pm, nullptr), nullptr);

  // Nothing the language has not is dropped quietly: each error names what and where.
  struct Case {
    const char* layout;
    const char* named;  // what the error must name
  };
  const Case cases[] = {
      {"<Window>\n<Label/>\n<Button/>\n</Window>",
       "line 3: <Window> holds one control only, not "
       "also <Button>"},
      {"<Window>\n<!-- a note -->\n<Label/>\n<Gadget/></Window>", "line 4"},
      {"<Window>\n  loose text\n<Label/></Window>", "line 2: <Window> holds one control only"},
      {"<Window><!-- only a note --></Window>", "<Window> holds no control"},
      {"<VerticalLayout>\n<Label/>\n<Widget/>\n</VerticalLayout>",
       "line 3: unknown element <Widget>"},
      {"<VerticalLayout>\n<Label\n  colour=\"1\"/>\n</VerticalLayout>",
       "line 3: unknown attribute"},
      {"<Button>\nclick me</Button>", "line 2: <Button> holds text"},
      {"<Window mininfo=\"x\">\n<Label/></Window>",
       "line 1: unknown attribute or bad value: mininfo"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(builder.CreateFromText(c.layout, nullptr, &pm, nullptr), nullptr) << c.layout;
    EXPECT_NE(builder.GetLastError().find(c.named), std::string::npos)
        << c.layout << " -> " << builder.GetLastError();
  }
  // Comments are fine anywhere.
  std::unique_ptr<CControlUI> commented(builder.CreateFromText(
      "<Window><!-- a --><VerticalLayout><!-- b --><Label/></VerticalLayout></Window>", nullptr,
      &pm, nullptr));
  EXPECT_NE(commented, nullptr) << builder.GetLastError();

  // Unknown elements go to the callback first.
  struct Callback : IDialogBuilderCallback {
    CControlUI* CreateControl(const wchar_t* name) override {
      return std::wstring(name) == L"Row" ? new CListContainerElementUI : nullptr;
    }
  } callback;
  std::unique_ptr<CControlUI> row(builder.CreateFromText(
      "<Row><Label name=\"x\"/><Label name=\"y\"/></Row>", &callback, &pm, nullptr));
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->GetClass(), L"ListContainerElementUI");
  EXPECT_EQ(pm.FindSubControlByName(row.get(), L"y")->GetName(), L"y");
}

TEST_F(UilibTest, FindControlByPointAndByParent) {
  EXPECT_EQ(m_window->Manager().FindControl(Center(Find(L"ok"))), Find(L"ok"));
  CControlUI* atTitle = m_window->Manager().FindControl(POINT{5, 5});
  EXPECT_EQ(atTitle, Find(L"title"));
  auto* list = static_cast<CListUI*>(Find(L"list"));
  CDialogBuilder builder;
  for (int i = 0; i < 3; ++i) {
    list->Add(builder.CreateFromText("<ListContainerElement><Label name=\"cell\" text=\"r" +
                                         std::to_string(i) +
                                         "\"/><Label name=\"c2\"/></ListContainerElement>",
                                     nullptr, &m_window->Manager(), nullptr));
  }
  ASSERT_EQ(list->GetCount(), 3);
  EXPECT_EQ(m_window->Manager().FindSubControlByName(list->GetItemAt(2), L"cell")->GetText(),
            L"r2");
  m_window->Manager().UpdateLayout();
  // Cells take the header's columns.
  CControlUI* cell = m_window->Manager().FindSubControlByName(list->GetItemAt(0), L"c2");
  EXPECT_EQ(cell->GetPos().left, list->GetHeader()->GetItemAt(1)->GetPos().left);
  EXPECT_EQ(cell->GetPos().GetWidth(), 100);
  list->RemoveAll();
  EXPECT_EQ(list->GetCount(), 0);
  EXPECT_EQ(Find(L"cell"), nullptr);  // the freed rows left the name table
}

TEST_F(UilibTest, ClicksOptionsAndKeysNotifyInOrder) {
  m_window->notes.clear();
  m_backend->Click(m_window->GetHWND(), Center(Find(L"ok")));
  m_backend->Click(m_window->GetHWND(), Center(Find(L"a")));
  m_backend->Click(m_window->GetHWND(), Center(Find(L"check")));
  EXPECT_EQ(m_window->notes, (std::vector<std::wstring>{L"click:ok", L"click:a", L"selectchanged:a",
                                                        L"click:check", L"selectchanged:check"}));
  EXPECT_TRUE(static_cast<COptionUI*>(Find(L"a"))->IsSelected());
  EXPECT_FALSE(static_cast<COptionUI*>(Find(L"b"))->IsSelected());
  // Tab moves the focus from the option to the next focusable control; Space activates it.
  m_window->notes.clear();
  m_backend->Key(m_window->GetHWND(), VK_TAB, true);
  EXPECT_EQ(m_window->Manager().GetFocus(), Find(L"b"));
  m_backend->Key(m_window->GetHWND(), VK_SPACE);
  EXPECT_EQ(m_window->notes, (std::vector<std::wstring>{L"click:b", L"selectchanged:b"}));
  // A press that leaves the button before the release is no click.
  m_window->notes.clear();
  m_backend->MouseDown(m_window->GetHWND(), Center(Find(L"ok")));
  m_backend->MouseUp(m_window->GetHWND(), POINT{5, 200});
  EXPECT_TRUE(m_window->notes.empty());
}

TEST_F(UilibTest, PostedMessagesMeetFiltersFirstArriveInOrderAndDropWhenTheWindowIsGone) {
  const HWND hwnd = m_window->GetHWND();
  std::thread poster([hwnd] {
    for (int i = 1; i <= 6; ++i) {
      PostMessage(hwnd, WM_TEST, static_cast<WPARAM>(i), 0);
    }
  });
  poster.join();
  m_backend->RunUntilIdle();
  EXPECT_EQ(m_window->filtered, (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(m_window->handled, (std::vector<int>{1, 3, 5}));

  bool gone = false;
  m_window->gone = &gone;
  EXPECT_TRUE(PostMessage(hwnd, WM_TEST, 7, 0));
  m_window->DestroyWindow();
  EXPECT_TRUE(gone);
  m_backend->RunUntilIdle();  // the message for the gone window is dropped
  EXPECT_EQ(m_window->handled, (std::vector<int>{1, 3, 5}));
  EXPECT_FALSE(PostMessage(hwnd, WM_TEST, 8, 0));
}

TEST_F(UilibTest, TimerFiresWhenTheVirtualClockPassesIt) {
  m_window->notes.clear();
  ASSERT_TRUE(m_window->Manager().SetTimer(Find(L"ok"), 101, 6000));
  m_backend->AdvanceClock(5999);
  EXPECT_TRUE(m_window->notes.empty());
  m_backend->AdvanceClock(1);
  EXPECT_EQ(m_window->notes, std::vector<std::wstring>{L"timer:ok"});
  m_backend->AdvanceClock(60000);  // killed at its first tick
  EXPECT_EQ(m_window->notes.size(), 1u);
}

TEST_F(UilibTest, AWindowKeepsWithinItsLayoutsMinimumAndTheWorkArea) {
  TestWindow window(R"(<Window size="100,50" mininfo="200,120"><Control/></Window>)");
  ASSERT_NE(window.Create(nullptr, L"small", 0, 0, 0, 0, 100, 50), nullptr);
  EXPECT_EQ(window.GetClientRect().right, 200);
  EXPECT_EQ(window.GetClientRect().bottom, 120);
  window.ResizeClient(10, 500);
  EXPECT_EQ(window.GetClientRect().right, 200);
  EXPECT_EQ(window.GetClientRect().bottom, 500);
  window.ResizeClient(5000, 5000);
  EXPECT_EQ(window.GetClientRect().right, 1920);
  EXPECT_EQ(window.GetClientRect().bottom, 1040);
}

TEST_F(UilibTest, TheBrowserControlIsOfferedAndScriptsRunInTheFirstReadableFrame) {
  auto* ie = static_cast<CActiveXUI*>(Find(L"ie"));
  IWebBrowser* browser = nullptr;
  EXPECT_EQ(ie->GetControl("{00000000-0000-0000-0000-000000000000}", &browser), E_NOINTERFACE);
  ASSERT_EQ(ie->GetControl(IID_IWebBrowser2, &browser), S_OK);
  ASSERT_EQ(m_backend->browsers.size(), 1u);
  HeadlessWebBrowser* scripted = m_backend->browsers[0];
  EXPECT_EQ(browser->ExecScriptInFirstReadableFrame(L"x()"), E_FAIL);  // no frame, no script
  scripted->frames = {
      {L"http://other/", false, {}}, {L"http://same/a", true, {}}, {L"http://same/b", true, {}}};
  EXPECT_EQ(browser->ExecScriptInFirstReadableFrame(L"x()"), S_OK);
  EXPECT_TRUE(scripted->frames[0].scripts.empty());
  EXPECT_EQ(scripted->frames[1].scripts, std::vector<std::wstring>{L"x()"});
  EXPECT_TRUE(scripted->frames[2].scripts.empty());
}

TEST_F(UilibTest, ARenderedWindowShowsItsLayoutsColours) {
  cairo_surface_t* surface = m_backend->Render(m_window->GetHWND());
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(PixelAt(surface, {200, 20}), 0xFF2F80EDu);   // the caption band
  EXPECT_EQ(PixelAt(surface, {200, 150}), 0xFFF4F6F8u);  // the window's own, under an empty list
  cairo_surface_destroy(surface);
}

// The bytes of a `width` × `height` image in `format` ("png", "jpeg").
std::string EncodedImage(int width, int height, const char* format) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
  gdk_pixbuf_fill(pixbuf, 0x336699FF);
  gchar* buffer = nullptr;
  gsize size = 0;
  EXPECT_TRUE(gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, format, nullptr, nullptr));
  std::string bytes(buffer, size);
  g_free(buffer);
  g_object_unref(pixbuf);
  return bytes;
}

TEST_F(UilibTest, SkinImagesArePngsOfBoundedSizeAndABadOneLeavesItsControlBare) {
  TempDir skin;
  const std::string wide = EncodedImage(40000, 1, "png");
  EXPECT_LT(wide.size(), 2000u);  // tiny on disk, 160 KB of pixels
  skin.Write("wide.png", wide);
  skin.Write("tall.png", EncodedImage(1, 8193, "png"));
  skin.Write("edge.png", EncodedImage(8192, 1, "png"));
  skin.Write("photo.png", EncodedImage(4, 4, "jpeg"));  // a JPEG under a PNG name
  skin.Write("cut.png", wide.substr(0, 30));
  skin.Write("ok.png", EncodedImage(2, 2, "png"));
  SkinResources::SetFolder(skin.Path().string());
  for (const char* refused : {"wide.png", "tall.png", "photo.png", "cut.png", "missing.png"}) {
    EXPECT_EQ(SkinResources::Image(refused), nullptr) << refused;
  }
  EXPECT_NE(SkinResources::Image("edge.png"), nullptr);
  // On a display of two device pixels per pixel, "name@2x.png" is drawn where the skin has it.
  skin.Write("sharp.png", EncodedImage(2, 2, "png"));
  skin.Write("sharp@2x.png", EncodedImage(4, 4, "png"));
  EXPECT_EQ(CRenderEngine::ImageForScale("sharp.png", 1), "sharp.png");
  EXPECT_EQ(CRenderEngine::ImageForScale("sharp.png", 2), "sharp@2x.png");
  EXPECT_EQ(CRenderEngine::ImageForScale("ok.png", 2), "ok.png");
  ASSERT_NE(SkinResources::Image("ok.png"), nullptr);
  EXPECT_EQ(cairo_image_surface_get_width(SkinResources::Image("ok.png")), 2);

  TestWindow window(R"(<Window size="100,60"><VerticalLayout bkimage="wide.png">
      <Button name="b" text="b" bkimage="photo.png"/><Label bkimage="ok.png"/>
      </VerticalLayout></Window>)");
  ASSERT_NE(window.Create(nullptr, L"images", 0, 0, 100, 60, 0, 0), nullptr);
  cairo_surface_t* surface = m_backend->Render(window.GetHWND());
  EXPECT_NE(surface, nullptr);
  cairo_surface_destroy(surface);
  SkinResources::Clear();
}

// The attribute names each documented table lists, by the name in its "<!-- attributes: X -->".
std::map<std::string, std::set<std::string>> DocumentedAttributes() {
  std::ifstream doc(ZP_LAYOUT_LANGUAGE_DOC);
  std::map<std::string, std::set<std::string>> tables;
  std::string line;
  std::string current;
  while (std::getline(doc, line)) {
    const std::string marker = "<!-- attributes: ";
    if (line.rfind(marker, 0) == 0) {
      current = line.substr(marker.size(), line.find(' ', marker.size()) - marker.size());
      tables[current];
      continue;
    }
    if (current.empty()) {
      continue;
    }
    if (line.rfind("|", 0) != 0) {
      current.clear();  // the table ended
      continue;
    }
    // A row's first cell: "`name`" (header and rule rows have none).
    const size_t open = line.find('`');
    const size_t cell = line.find('|', 1);
    if (open != std::string::npos && open < cell) {
      tables[current].insert(line.substr(open + 1, line.find('`', open + 1) - open - 1));
    }
  }
  return tables;
}

template <typename Target>
std::set<std::string> Accepted(const AttributeTable<Target>& table) {
  const std::vector<std::string> names = table.Names();
  return {names.begin(), names.end()};
}

TEST(LayoutLanguageTest, TheDocumentedAttributesAreExactlyWhatTheBuilderTakes) {
  const auto documented = DocumentedAttributes();
  EXPECT_EQ(documented.at("Window"), Accepted(WindowAttributes()));
  EXPECT_EQ(documented.at("Control"), Accepted(CControlUI::Attributes()));
  EXPECT_EQ(documented.at("Container"), Accepted(CContainerUI::Attributes()));
  EXPECT_EQ(documented.at("Button"), Accepted(CButtonUI::Attributes()));
  EXPECT_EQ(documented.at("Option"), Accepted(COptionUI::Attributes()));
  EXPECT_EQ(documented.at("List"), Accepted(CListUI::Attributes()));
  EXPECT_EQ(documented.at("Edit"), Accepted(CEditUI::Attributes()));
  EXPECT_EQ(documented.size(), 7u);

  // And each name in a table is taken by its control, with a value of the documented kind.
  CButtonUI button;
  EXPECT_TRUE(button.SetAttribute("hotbkcolor", "#FF102030"));
  EXPECT_TRUE(button.SetAttribute("bordersize", "2"));    // from every control
  EXPECT_FALSE(button.SetAttribute("selected", "true"));  // an option's
  EXPECT_FALSE(button.SetAttribute("bordersize", "-1"));
  COptionUI option;
  EXPECT_TRUE(option.SetAttribute("pushedimage", "a.png"));  // from buttons
  EXPECT_FALSE(option.SetAttribute("checkbox", "yes"));
}

}  // namespace
