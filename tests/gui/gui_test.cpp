// GUI tests: real GTK windows under Xvfb, driven with xdotool, and the WebKit browser control
// against the sample service.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <functional>

#include "gui/gui_support.h"
#include "platform/code_page.h"
#include "platform/posted_messages.h"
#include "platform/url_cache.h"
#include "platform/url_download.h"
#include "support/artifacts.h"
#include "support/layout_dialog.h"
#include "support/sample_service_process.h"
#include "support/temp_dir.h"
#include "uilib/gtk/gtk_backend.h"
#include "uilib/gtk/gtk_web_browser.h"
#include "uilib/ui_activex.h"

namespace {

const char* kLayout =
    R"(<Window size="320,200" caption="0,0,0,40" roundcorner="8,8" bkcolor="#FFF4F6F8">
  <VerticalLayout>
    <HorizontalLayout height="40" bkcolor="#FF2F80ED">
      <Label name="title" text="caption" textcolor="#FFFFFFFF"/>
      <Button name="closebtn" text="x" width="40"/>
    </HorizontalLayout>
    <HorizontalLayout height="40" inset="10,5,10,5">
      <Button name="ok" text="OK" width="100" bkcolor="#FFDDDDDD"/>
    </HorizontalLayout>
    <ActiveX name="ie"/>
  </VerticalLayout>
</Window>)";

class GuiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(StartGtkBackend()) << "no display"; }
  void SetUp() override {
    m_window = std::make_unique<LayoutDialog>(kLayout);
    ASSERT_NE(m_window->Create(nullptr, L"gui", 0, 0, 100, 100, 0, 0), nullptr);
    m_window->ShowWindow(true, true);
    ASSERT_TRUE(PumpUntil([this] { return IsMapped(); }, 10));
  }
  void TearDown() override { m_window.reset(); }

  bool IsMapped() const { return UiBackend()->IsNativeWindowVisible(m_window->GetHWND()); }
  POINT ScreenCenter(const wchar_t* name) {
    const CRect rect = m_window->Find(name)->GetPos();
    const RECT window = m_window->GetWindowRect();
    return {window.left + (rect.left + rect.right) / 2, window.top + (rect.top + rect.bottom) / 2};
  }

  std::unique_ptr<LayoutDialog> m_window;
};

TEST_F(GuiTest, WindowAppearsAndAScreenshotIsNotBlank) {
  ASSERT_TRUE(PumpUntil(
      [] {
        GdkWindow* root = gdk_get_default_root_window();
        return root != nullptr;
      },
      5));
  const RECT rect = m_window->GetWindowRect();
  PumpUntil([] { return false; }, 1);  // let it paint
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), rect.left, rect.top,
                                               rect.right - rect.left, rect.bottom - rect.top);
  ASSERT_NE(shot, nullptr);
  const std::string path = ArtifactPath("gui-window.png").string();
  gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr);
  // The caption band's blue and the body's grey are both there.
  const guchar* pixels = gdk_pixbuf_get_pixels(shot);
  const int stride = gdk_pixbuf_get_rowstride(shot);
  const int channels = gdk_pixbuf_get_n_channels(shot);
  const guchar* caption = pixels + 10 * stride + 200 * channels;
  const guchar* body = pixels + 150 * stride + 200 * channels;
  EXPECT_EQ(caption[2], 0xED);
  EXPECT_EQ(body[0], 0xF4);
  g_object_unref(shot);
}

TEST_F(GuiTest, XdotoolClickOnAButtonGivesClick) {
  const POINT ok = ScreenCenter(L"ok");
  const pid_t pid =
      Xdotool({"mousemove", std::to_string(ok.x), std::to_string(ok.y), "click", "1"});
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(PumpUntil(
      [this] {
        return std::find(m_window->notes.begin(), m_window->notes.end(), L"click:ok") !=
               m_window->notes.end();
      },
      15));
  PumpUntil([pid] { return Finished(pid); }, 10);
}

TEST_F(GuiTest, DragInTheCaptionBandMovesTheWindow) {
  const RECT before = m_window->GetWindowRect();
  const int x = before.left + 20;
  const int y = before.top + 20;
  const pid_t pid = Xdotool({"mousemove", std::to_string(x), std::to_string(y), "mousedown", "1",
                             "sleep", "0.3", "mousemove", std::to_string(x + 120),
                             std::to_string(y + 80), "sleep", "0.3", "mouseup", "1"});
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(PumpUntil(
      [&] {
        const RECT now = m_window->GetWindowRect();
        return now.left >= before.left + 100 && now.top >= before.top + 60;
      },
      15));
  PumpUntil([pid] { return Finished(pid); }, 10);
}

// Destroying the window destroys its native fields before the controls that placed them; the
// controls then go without touching them (the sanitizer build sees any such touch).
TEST_F(GuiTest, ADisabledFieldTakesNoTypingAndFieldsOutliveNothing) {
  // Text fields over a window of their own.
  LayoutDialog window(
      R"(<Window size="300,130"><VerticalLayout inset="10,10,10,10" childpadding="10">
                           <Edit name="on" height="30"/>
                           <Edit name="off" height="30" enabled="false"/>
                         </VerticalLayout></Window>)");
  ASSERT_NE(window.Create(nullptr, L"fields", 0, 0, 100, 100, 0, 0), nullptr);
  window.ShowWindow(true, true);
  ASSERT_TRUE(PumpUntil([&] { return UiBackend()->IsNativeWindowVisible(window.GetHWND()); }, 10));
  const RECT frame = window.GetWindowRect();
  const auto type = [&](const wchar_t* name, const std::string& text) {
    const CRect rect = window.Find(name)->GetPos();
    ASSERT_TRUE(XdotoolAndWait({"mousemove", std::to_string(frame.left + rect.left + 10),
                                std::to_string(frame.top + (rect.top + rect.bottom) / 2), "click",
                                "1", "type", "--delay", "40", text}));
  };
  CControlUI* on = window.Find(L"on");
  CControlUI* off = window.Find(L"off");
  type(L"on", "abc");
  ASSERT_TRUE(PumpUntil([&] { return on->GetText() == L"abc"; }, 10));
  EXPECT_EQ(window.m_paintManager.GetFocus(), on);  // the click made it the focused control
  type(L"off", "xyz");
  // The keyboard stayed in the first field; this waits for the typing to arrive there.
  PumpUntil([&] { return on->GetText() == L"abcxyz"; }, 10);
  EXPECT_EQ(off->GetText(), L"");
  EXPECT_NE(window.m_paintManager.GetFocus(), off);
  off->SetEnabled(true);
  type(L"off", "xyz");
  EXPECT_TRUE(PumpUntil([&] { return off->GetText() == L"xyz"; }, 10));

  window.DestroyWindow();  // the fields go with the window; their controls go with the object
  EXPECT_EQ(on->GetText(), L"");
  on->SetText(L"gone");
  on->SetPos({0, 0, 10, 10});
}

TEST_F(GuiTest, BrowserRunsTheScriptInTheSameOriginFrameAndFillsTheCache) {
  TempDir dir;
  TempDir fixtures;
  UrlCache::SetDefaultRoot(dir.Path() / "cache");
  SetBrowserDataFolder((dir.Path() / "browser").string());
  SampleServiceProcess service(fixtures.Path());
  const std::string www = "http://" + service.Host("www");
  const std::string other = "http://other.localhost:" + std::to_string(service.Port());
  std::filesystem::create_directories(fixtures.Path() / "www" / "static");
  std::filesystem::create_directories(fixtures.Path() / "other" / "static");
  fixtures.Write("www/static/data.txt", "answer of the request");
  fixtures.Write("www/static/frame.html", "<html><body>same origin</body></html>");
  fixtures.Write("other/static/frame.html", "<html><body>other origin</body></html>");
  fixtures.Write("www/static/top.html",
                 "<html><body><iframe src=\"" + other +
                     "/static/frame.html\"></iframe>"
                     "<iframe src=\"/static/frame.html\"></iframe><script>"
                     "var x = new XMLHttpRequest(); x.open('GET', '/static/data.txt'); x.send();"
                     "document.cookie = 'sid=abc123; domain=photo.localhost; path=/';"
                     "</script></body></html>");

  auto* ie = static_cast<CActiveXUI*>(m_window->Find(L"ie"));
  IWebBrowser* browser = nullptr;
  ASSERT_EQ(ie->GetControl(IID_IWebBrowser2, &browser), S_OK);
  browser->Navigate(Utf8ToWide(www + "/static/top.html"));

  const std::string xhr = www + "/static/data.txt";
  ASSERT_TRUE(PumpUntil([&] { return UrlCache::Default().Lookup(xhr).has_value(); }, 30))
      << "the request's answer never reached the cache";
  EXPECT_EQ(ReadFileBytes(UrlCache::Default().Lookup(xhr)->bodyFile), "answer of the request");
  const std::string top = www + "/static/top.html";
  EXPECT_TRUE(PumpUntil([&] { return UrlCache::Default().Lookup(top).has_value(); }, 30));

  // Frames load on their own; the script goes to the first one whose document can be read.
  PumpUntil([] { return false; }, 2);
  browser->ExecScriptInFirstReadableFrame(
      L"var r = new XMLHttpRequest(); r.open('GET', '/echo-cookie?from=' + location.host); "
      L"r.send();");
  const std::string same = www + "/echo-cookie?from=" + service.Host("www");
  ASSERT_TRUE(PumpUntil([&] { return UrlCache::Default().Lookup(same).has_value(); }, 30));
  EXPECT_FALSE(
      UrlCache::Default()
          .Lookup(other + "/echo-cookie?from=other.localhost:" + std::to_string(service.Port()))
          .has_value());

  // The cookie the page set goes with the download layer's next request to its domain.
  TempDir out;
  const std::wstring target = Utf8ToWide((out.Path() / "cookie.txt").string());
  ASSERT_TRUE(PumpUntil(
      [&] {
        return DownloadUrlToFile(Utf8ToWide(www + "/echo-cookie"), target) == S_OK &&
               ReadFileBytes(out.Path() / "cookie.txt").find("sid=abc123") != std::string::npos;
      },
      30));
}

}  // namespace
