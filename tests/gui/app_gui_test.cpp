// The program under Xvfb: the real executable started from its skin file, and the main window
// driven with the mouse and keyboard through xdotool over the sample service, with WebKitGTK in
// the login window.

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <thread>

#include "app/startup.h"
#include "catalogue/app_state.h"
#include "catalogue/service_config.h"
#include "catalogue/web_cache.h"
#include "download/download_archive.h"
#include "download/download_settings.h"
#include "gui/gui_support.h"
#include "platform/code_page.h"
#include "platform/posted_messages.h"
#include "platform/url_cache.h"
#include "platform/url_download.h"
#include "support/artifacts.h"
#include "support/service_fixture.h"
#include "support/spawn_with_home.h"
#include "support/temporary_settings.h"
#include "ui/main_window.h"
#include "uilib/gtk/gtk_backend.h"
#include "uilib/gtk/gtk_web_browser.h"

namespace {

// The exit status of `pid`, or -1000 when it has not ended within `seconds`.
int WaitExit(pid_t pid, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    PumpUntil([] { return false; }, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1000;
}

// On a failure: a screenshot of the window, and the addresses in the web cache.
std::string Dump(HWND hwnd) {
  const RECT rect = UiBackend()->GetNativeWindowRect(hwnd);
  if (GdkPixbuf* shot =
          gdk_pixbuf_get_from_window(gdk_get_default_root_window(), rect.left, rect.top,
                                     rect.right - rect.left, rect.bottom - rect.top)) {
    gdk_pixbuf_save(shot, ArtifactPath("failed-window.png").c_str(), "png", nullptr, nullptr);
    g_object_unref(shot);
  }
  std::string text = "\ncached:";
  for (const UrlCacheEntry& entry :
       UrlCache::Default().List().value_or(std::vector<UrlCacheEntry>{})) {
    text += "\n  " + entry.url;
  }
  return text;
}

TEST(ProgramTest, WithoutSkinFileEndsAtOnceAndAfterARunTheSkinFileCarriesItsMarker) {
  TempDir exe;
  TempDir home;
  std::filesystem::copy_file(ZP_PROGRAM, exe.Path() / "zupictrove");
  std::filesystem::permissions(exe.Path() / "zupictrove", std::filesystem::perms::owner_all);

  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitExit(SpawnWithHome((exe.Path() / "zupictrove").string(), {}, home.Path()), 20), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));

  std::string skin = ReadFileBytes(ZP_SKIN_FILE);
  ASSERT_GT(skin.size(), 1032u);
  skin[1] = 7;
  exe.Write("skin.dll", skin);
  const pid_t pid = SpawnWithHome((exe.Path() / "zupictrove").string(), {}, home.Path());
  ASSERT_TRUE(XdotoolAndWait({"search", "--sync", "--onlyvisible", "--name", "^DuRavuv$"}, 60));
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid, 20), 0);
  const std::string after = ReadFileBytes(exe.Path() / "skin.dll");
  ASSERT_EQ(after.size(), skin.size());
  EXPECT_EQ(static_cast<unsigned char>(after[1]), 122);
  EXPECT_EQ(after.substr(2), skin.substr(2));
  for (const auto& entry : std::filesystem::directory_iterator(exe.Path())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("tmp-")) << entry.path();
  }
}

class AppGuiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(StartGtkBackend()) << "no display";
    SetProcessCodePage("UTF-8");
  }

  void SetUp() override {
    AllowDownloads();
    UrlCache::SetDefaultRoot(m_dir.Path() / "cache");
    SetBrowserDataFolder((m_dir.Path() / "browser").string());
    m_root = UseTemporarySettings(m_dir.Path());
    SetService(m_service.Config());
    std::filesystem::copy_file(ZP_SKIN_FILE, m_exe.Path() / "skin.dll");
    ASSERT_EQ(StartApplication(Utf8ToWide(m_exe.Path().string()) + L"/", &m_app),
              StartResult::kStarted);
    m_window = dynamic_cast<CZuPictrove*>(WindowFromHandle(m_app.mainWindow));
    ASSERT_NE(m_window, nullptr);
    m_window->SetWorkFolder(Utf8ToWide((m_dir.Path() / "Res").string()) + L"/");
    ASSERT_TRUE(PumpUntil([this] { return Visible(m_app.mainWindow); }, 20));
    // Every notice is answered with Enter as soon as it shows.
    m_dismisser = Xdotool(
        {"search", "--sync", "--name", "^提示$", "windowfocus", "--sync", "%1", "key", "Return"});
  }

  void TearDown() override {
    FinishApplication(&m_app);
    if (m_dismisser > 0) {
      kill(m_dismisser, SIGTERM);
      waitpid(m_dismisser, nullptr, 0);
    }
  }

  static bool LoginHasFocus() {
    bool active = false;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item != nullptr; item = item->next) {
      GtkWindow* window = GTK_WINDOW(item->data);
      active = active ||
               (gtk_window_is_active(window) &&
                std::string(gtk_window_get_title(window) != nullptr ? gtk_window_get_title(window)
                                                                    : "") != "DuRavuv");
    }
    g_list_free(windows);
    return active;
  }

  static bool Visible(HWND hwnd) { return UiBackend()->IsNativeWindowVisible(hwnd); }

  // A control of the main window's layout, and one of the login window's, by name.
  CControlUI* Named(const wchar_t* name) const {
    return m_window->m_paintManager.FindControl(name);
  }
  CControlUI* LoginNamed(const wchar_t* name) const {
    return m_window->LoginWindow()->m_paintManager.FindControl(name);
  }

  POINT ScreenCenter(CControlUI* control) const {
    const CRect rect = control->GetPos();
    const RECT window = UiBackend()->GetNativeWindowRect(control->GetManager()->GetPaintWindow());
    return {window.left + (rect.left + rect.right) / 2, window.top + (rect.top + rect.bottom) / 2};
  }
  void Click(CControlUI* control) {
    const POINT p = ScreenCenter(control);
    ASSERT_TRUE(
        XdotoolAndWait({"mousemove", std::to_string(p.x), std::to_string(p.y), "click", "1"}));
  }
  void Click(const wchar_t* name) { Click(Named(name)); }
  void Type(const std::string& text) {
    ASSERT_TRUE(XdotoolAndWait({"type", "--delay", "40", text}));
  }
  // Types into the page of the login window once it has the keyboard, then presses Enter.
  void TypeAndEnter(const std::string& text) {
    ASSERT_TRUE(PumpUntil([] { return LoginHasFocus(); }, 20));
    Type(text);
    ASSERT_TRUE(XdotoolAndWait({"key", "Return"}));
  }
  void TypeUinAndGet(const std::string& uin) {
    Click(L"edit_zu");
    Type(uin);
    ASSERT_TRUE(PumpUntil([&] { return Named(L"edit_zu")->GetText() == Utf8ToWide(uin); }, 10));
    Click(L"btn_get");
  }
  bool RunIsOver() const { return Named(L"btn_down")->GetText() == kCaptionDownload; }
  bool NoticeAnswered() const { return m_dismisser > 0 && Finished(m_dismisser); }
  CAlbumListItemUI* Row(int i) const {
    return dynamic_cast<CAlbumListItemUI*>(m_window->AlbumList()->GetItemAt(i));
  }
  bool Cached(const std::string& path) const {
    return UrlCache::Default()
        .Lookup("http://" + m_service.Service().Host("user") + path)
        .has_value();
  }

  TempDir m_dir;
  TempDir m_exe;
  ServiceFixture m_service;
  std::filesystem::path m_root;
  StartedApplication m_app;
  CZuPictrove* m_window = nullptr;
  pid_t m_dismisser = -1;
};

TEST_F(AppGuiTest, TypedUserNumberListsAlbumsAndTickedOnesDownload) {
  m_service.ServeUser(20001, {{"a1", "Spring", 3}, {"a2", "Beach", 2}, {"a3", "Snow", 2}});
  PumpUntil([] { return false; }, 1);  // let it paint
  const RECT rect = m_window->GetWindowRect();
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), rect.left, rect.top,
                                               rect.right - rect.left, rect.bottom - rect.top);
  ASSERT_NE(shot, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(shot), 600);
  EXPECT_EQ(gdk_pixbuf_get_height(shot), 580);
  gdk_pixbuf_save(shot, ArtifactPath("program-main-window.png").c_str(), "png", nullptr, nullptr);
  g_object_unref(shot);

  TypeUinAndGet("20001");
  ASSERT_TRUE(PumpUntil([&] { return m_window->AlbumList()->GetCount() == 3; }, 20));
  Click(Row(0)->m_optSelect);
  Click(Row(2)->m_optSelect);
  Click(L"btn_down");
  ASSERT_TRUE(PumpUntil([&] { return RunIsOver() && NoticeAnswered(); }, 60));
  EXPECT_EQ(Row(0)->m_lblStatus->GetText(), L"3");
  EXPECT_EQ(Row(2)->m_lblStatus->GetText(), L"2");
  EXPECT_EQ(std::filesystem::file_size(m_root / "20001" / "Spring" / "photo2.jpg"), 1000u);
  EXPECT_TRUE(std::filesystem::exists(m_root / "20001" / "Snow" / "photo1.jpg"));
  EXPECT_FALSE(std::filesystem::exists(m_root / "20001" / "Beach"));
}

TEST_F(AppGuiTest, PasswordAlbumIsEnteredInThePageAndTakenFromTheWebCache) {
  m_service.ServeUser(20002, {{"g1", "Secret", 2, true}});
  m_service.SetAlbumPassword(20002, "g1", "pw123");
  TypeUinAndGet("20002");
  ASSERT_TRUE(PumpUntil([&] { return m_window->AlbumList()->GetCount() == 1; }, 20));
  Click(Row(0)->m_optSelect);
  Click(L"btn_down");
  const auto asked = std::chrono::steady_clock::now();
  CDuRavuvLogin* login = m_window->LoginWindow();
  ASSERT_TRUE(PumpUntil([&] { return Visible(login->GetHWND()); }, 30));
  EXPECT_GE(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(5500));
  EXPECT_EQ(LoginNamed(L"login_lbl_title")->GetText(), L"请输入《Secret》相册密码");
  ASSERT_TRUE(Cached("/20002/photo/albums"));  // the album frame was there for the script

  // A key that reaches the page while it is still taking the focus can be lost: the page then
  // says the password is wrong and selects it, and it is typed again, as a user would.
  std::wstring found;
  const std::wstring pattern = AlbumPagePattern(20002, L"g1");
  const auto albumCached = [&] {
    FindCachedUrl(&found, pattern);
    return !found.empty();
  };
  for (int attempt = 0; attempt < 3 && !albumCached(); ++attempt) {
    TypeAndEnter("pw123");
    PumpUntil(albumCached, 10);
  }
  ASSERT_TRUE(albumCached()) << "the album's answer never reached the web cache"
                             << Dump(login->GetHWND());
  Click(LoginNamed(L"closebtn"));
  ASSERT_TRUE(PumpUntil([&] { return RunIsOver() && NoticeAnswered(); }, 60));
  EXPECT_FALSE(Visible(login->GetHWND()));
  EXPECT_EQ(Row(0)->m_lblStatus->GetText(), L"2");
  EXPECT_EQ(std::filesystem::file_size(m_root / "20002" / "Secret" / "photo1.jpg"), 1000u);
}

TEST_F(AppGuiTest, SignInOnTheUserPageLetsTheListBeRead) {
  m_service.ServeUser(20003, {{"s1", "Friends", 1}, {"s2", "Family", 1}});
  m_service.RequireSignIn(20003, "letmein");
  TypeUinAndGet("20003");
  CDuRavuvLogin* login = m_window->LoginWindow();
  ASSERT_TRUE(PumpUntil([&] { return Visible(login->GetHWND()); }, 30));
  EXPECT_EQ(LoginNamed(L"login_lbl_title")->GetText(), L"请登录Zu空间");
  EXPECT_EQ(m_window->AlbumList()->GetCount(), 0);
  ASSERT_TRUE(PumpUntil([&] { return Cached("/20003/photo/"); }, 30));

  const auto signedIn = [&] { return Cached("/20003/photo/albums"); };
  for (int attempt = 0; attempt < 3 && !signedIn(); ++attempt) {
    TypeAndEnter("letmein");  // a wrong password shows the form again, focused and empty
    PumpUntil(signedIn, 10);
  }
  ASSERT_TRUE(signedIn()) << "signing in never opened the album page" << Dump(login->GetHWND());
  Click(LoginNamed(L"closebtn"));
  ASSERT_TRUE(PumpUntil([&] { return m_window->AlbumList()->GetCount() == 2; }, 30));
  EXPECT_EQ(Row(1)->m_lblName->GetText(), L"Family");
  EXPECT_FALSE(NoticeAnswered());  // no notice showed
}

// The keyboard in the real window: keys go through xdotool, the focus is the paint manager's.
class KeyboardGuiTest : public AppGuiTest {
 protected:
  void TearDown() override {
    for (const pid_t pid : m_presser) {
      if (!Finished(pid)) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
      }
    }
    AppGuiTest::TearDown();
  }
  void Key(const std::string& key) { ASSERT_TRUE(XdotoolAndWait({"key", key})); }
  // Presses Escape in the next notice as soon as it shows.
  pid_t EscapeTheNextNotice() {
    m_presser.push_back(Xdotool(
        {"search", "--sync", "--name", "^提示$", "windowfocus", "--sync", "%1", "key", "Escape"}));
    return m_presser.back();
  }
  CControlUI* Focus() const { return m_window->m_paintManager.GetFocus(); }
  bool FocusBecomes(CControlUI* control) const {
    return PumpUntil([&] { return Focus() == control; }, 10);
  }
  // Types the user number into the field and presses Enter there.
  void ListWithEnter(const std::string& uin, int rows) {
    Click(L"edit_zu");
    ASSERT_TRUE(FocusBecomes(Named(L"edit_zu")));
    Type(uin);
    ASSERT_TRUE(PumpUntil([&] { return Named(L"edit_zu")->GetText() == Utf8ToWide(uin); }, 10));
    Key("Return");
    ASSERT_TRUE(PumpUntil([&] { return m_window->AlbumList()->GetCount() == rows; }, 20));
  }
  // The colour of a pixel of the screen, 0xRRGGBB.
  static uint32_t ScreenPixel(POINT point) {
    GdkPixbuf* shot =
        gdk_pixbuf_get_from_window(gdk_get_default_root_window(), point.x, point.y, 1, 1);
    if (shot == nullptr) {
      return 0;
    }
    const guchar* p = gdk_pixbuf_get_pixels(shot);
    const uint32_t color = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    g_object_unref(shot);
    return color;
  }
  // The row holding the focus lies wholly within the list's body.
  bool FocusedRowShows() const {
    for (int i = 0; i < m_window->AlbumList()->GetCount(); ++i) {
      CControlUI* row = m_window->AlbumList()->GetItemAt(i);
      if (row->Holds(Focus())) {
        const CRect rect = row->GetPos();
        return rect.top >= m_window->AlbumList()->GetHeader()->GetPos().bottom &&
               rect.bottom <= m_window->AlbumList()->GetPos().bottom;
      }
    }
    return false;
  }

  std::vector<pid_t> m_presser;
};

// Answers every notice still open after a while and remembers that it had to: Escape was meant to.
class NoticeRescue {
 public:
  NoticeRescue() {
    m_source = g_timeout_add_seconds(
        20,
        [](gpointer data) -> gboolean {
          GList* windows = gtk_window_list_toplevels();
          for (GList* item = windows; item != nullptr; item = item->next) {
            if (GTK_IS_DIALOG(item->data)) {
              *static_cast<bool*>(data) = true;
              gtk_dialog_response(GTK_DIALOG(item->data), GTK_RESPONSE_OK);
            }
          }
          g_list_free(windows);
          return G_SOURCE_CONTINUE;
        },
        &m_rescued);
  }
  ~NoticeRescue() { g_source_remove(m_source); }
  NoticeRescue(const NoticeRescue&) = delete;
  NoticeRescue& operator=(const NoticeRescue&) = delete;
  bool Rescued() const { return m_rescued; }

 private:
  guint m_source = 0;
  bool m_rescued = false;
};

TEST_F(KeyboardGuiTest, EnterInTheUserNumberFieldListsTheAlbumsAndTabRunsThroughEveryControl) {
  m_service.ServeUser(20021, {{"k1", "North", 1}, {"k2", "South", 1}, {"k3", "Locked", 1, true}});
  ListWithEnter("20021", 3);

  // From the field on: the get button, then every field, button and option in layout order (the
  // rows' ticks among them), around to the field again.
  const std::vector<CControlUI*> chain{Named(L"btn_get"),        Named(L"edit_album_dir"),
                                       Named(L"btn_brow"),       Row(0)->m_optSelect,
                                       Row(1)->m_optSelect,      Row(2)->m_optSelect,
                                       Named(L"opt_select_all"), Named(L"opt_select_pwd_album"),
                                       Named(L"btn_down"),       Named(L"btn_album_ad"),
                                       Named(L"btn_kel_ad"),     Named(L"minbtn"),
                                       Named(L"closebtn"),       Named(L"edit_zu"),
                                       Named(L"btn_get")};
  for (CControlUI* expected : chain) {
    Key("Tab");
    ASSERT_TRUE(FocusBecomes(expected))
        << "expected " << WideToUtf8(expected->GetName()) << ", focus on "
        << (Focus() != nullptr ? WideToUtf8(Focus()->GetName()) : "nothing");
    if (expected == Named(L"btn_brow")) {
      // The keyboard's focus shows as a ring over the button's own border.
      const CRect rect = expected->GetPos();
      const RECT window = m_window->GetWindowRect();
      const POINT edge{window.left + rect.left, window.top + (rect.top + rect.bottom) / 2};
      EXPECT_TRUE(PumpUntil([&] { return ScreenPixel(edge) == 0x4A90E2; }, 5))
          << std::hex << ScreenPixel(edge);
    }
  }
  // Back in the field by the keyboard, the keyboard types there (over the text, which a field
  // reached by the keyboard selects); Shift+Tab goes back along the chain.
  Key("shift+Tab");
  ASSERT_TRUE(FocusBecomes(Named(L"edit_zu")));
  Type("7");
  EXPECT_TRUE(PumpUntil([&] { return Named(L"edit_zu")->GetText() == L"7"; }, 10))
      << WideToUtf8(Named(L"edit_zu")->GetText());
  Key("shift+Tab");
  EXPECT_TRUE(FocusBecomes(Named(L"closebtn")));
}

TEST_F(KeyboardGuiTest, SpaceTicksTheFocusedRowAndPageDownScrollsWithTheFocusedRowInSight) {
  std::vector<FixtureAlbum> albums;
  for (int i = 0; i < 30; ++i) {
    albums.emplace_back("r" + std::to_string(i), "Album " + std::to_string(i), 1);
  }
  m_service.ServeUser(20022, albums);
  ListWithEnter("20022", 30);
  for (int i = 0; i < 4; ++i) {  // the get button, the folder field and button, the first row
    Key("Tab");
  }
  ASSERT_TRUE(FocusBecomes(Row(0)->m_optSelect));
  Key("space");
  EXPECT_TRUE(PumpUntil([&] { return Row(0)->m_optSelect->IsSelected(); }, 10));
  EXPECT_FALSE(Row(1)->m_optSelect->IsSelected());

  ASSERT_EQ(m_window->AlbumList()->GetScrollPos(), 0);
  Key("Page_Down");
  ASSERT_TRUE(PumpUntil([&] { return m_window->AlbumList()->GetScrollPos() > 0; }, 10));
  EXPECT_NE(Focus(), Row(0)->m_optSelect);
  EXPECT_TRUE(PumpUntil([&] { return FocusedRowShows(); }, 10));
  Key("Page_Down");
  Key("Down");
  EXPECT_TRUE(PumpUntil([&] { return FocusedRowShows(); }, 10));
  Key("End");
  ASSERT_TRUE(FocusBecomes(Row(29)->m_optSelect));
  EXPECT_TRUE(PumpUntil([&] { return FocusedRowShows(); }, 10));
  Key("space");
  EXPECT_TRUE(PumpUntil([&] { return Row(29)->m_optSelect->IsSelected(); }, 10));
  Key("Home");
  ASSERT_TRUE(FocusBecomes(Row(0)->m_optSelect));
  EXPECT_TRUE(PumpUntil([&] { return m_window->AlbumList()->GetScrollPos() == 0; }, 10));
}

TEST_F(KeyboardGuiTest, EscapeClosesANoticeAndTheLoginWindow) {
  // This test answers the notices itself, as the spawned program's tests do.
  kill(m_dismisser, SIGTERM);
  waitpid(m_dismisser, nullptr, 0);
  m_dismisser = -1;
  const NoticeRescue rescue;
  const pid_t escape = EscapeTheNextNotice();
  Click(L"btn_down");  // no rows: a notice, modal until it is answered
  EXPECT_TRUE(PumpUntil([&] { return Finished(escape); }, 30));
  EXPECT_FALSE(rescue.Rescued()) << "Escape did not close the notice";

  // The login window closes on Escape as with its close button, with the keyboard in its page.
  m_service.ServeUser(20023, {{"s1", "Hidden", 1}});
  m_service.RequireSignIn(20023, "secret");
  const pid_t answer = EscapeTheNextNotice();
  TypeUinAndGet("20023");
  CDuRavuvLogin* login = m_window->LoginWindow();
  ASSERT_TRUE(PumpUntil([&] { return Visible(login->GetHWND()); }, 30));
  ASSERT_TRUE(PumpUntil([] { return LoginHasFocus(); }, 20));
  // A key that reaches the page while it is still taking the focus can be lost: then it is
  // pressed again, as a user would.
  const auto closed = [&] { return !Visible(login->GetHWND()); };
  for (int attempt = 0; attempt < 3 && !closed(); ++attempt) {
    Key("Escape");
    PumpUntil(closed, 5);
  }
  EXPECT_TRUE(closed());
  // As after its close button, the list is read again, which fails without signing in: the
  // notice that says so closes on Escape too.
  EXPECT_TRUE(PumpUntil([&] { return Finished(answer); }, 30));
  EXPECT_FALSE(rescue.Rescued()) << "Escape did not close the notice";
  EXPECT_EQ(m_window->AlbumList()->GetCount(), 0);
}

// The real program, started from its own folder over the test's service, driven at the places
// where the test's own (hidden) copy of the window has its controls.
class SpawnedProgramTest : public AppGuiTest {
 protected:
  void SetUp() override {
    AppGuiTest::SetUp();
    if (HasFatalFailure()) {
      return;
    }
    // The notices of the spawned program stay open unless a test answers them.
    kill(m_dismisser, SIGTERM);
    waitpid(m_dismisser, nullptr, 0);
    m_dismisser = -1;
    m_window->ShowWindow(false, false);
    std::filesystem::copy_file(ZP_PROGRAM, m_program.Path() / "zupictrove");
    std::filesystem::permissions(m_program.Path() / "zupictrove",
                                 std::filesystem::perms::owner_all);
    std::filesystem::copy_file(ZP_SKIN_FILE, m_program.Path() / "skin.dll");
    m_program.Write("service.ini", m_service.ServiceIni());
    std::filesystem::create_directories(m_home.Path() / "photos");
    m_program.Write("config.ini",
                    "[info]\nphoto_dir=" + (m_home.Path() / "photos").string() + "\n");
    m_pid = SpawnWithHome((m_program.Path() / "zupictrove").string(), {}, m_home.Path());
    ASSERT_TRUE(XdotoolAndWait({"search", "--sync", "--onlyvisible", "--name", "^DuRavuv$"}, 60));
  }

  void TearDown() override {
    if (m_pid > 0 && !Finished(m_pid)) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    AppGuiTest::TearDown();
  }

  // Clicks the spawned program's window where `name` is in the layout.
  void ClickProgram(const wchar_t* name) {
    CControlUI* control = Named(name);
    ASSERT_NE(control, nullptr);
    const CRect rect = control->GetPos();
    ASSERT_TRUE(XdotoolAndWait({"search", "--onlyvisible", "--name", "^DuRavuv$", "mousemove",
                                "--window", "%1", std::to_string((rect.left + rect.right) / 2),
                                std::to_string((rect.top + rect.bottom) / 2), "click", "1"}));
  }

  // The spawned program's window's top-left corner on the screen, from xdotool.
  static std::optional<POINT> ProgramOrigin() {
    FILE* pipe =
        popen("xdotool search --onlyvisible --name '^DuRavuv$' getwindowgeometry --shell", "r");
    if (pipe == nullptr) {
      return std::nullopt;
    }
    std::optional<int> x;
    std::optional<int> y;
    char line[128];
    while (fgets(line, sizeof line, pipe) != nullptr) {
      if (std::strncmp(line, "X=", 2) == 0) {
        x = std::atoi(line + 2);
      } else if (std::strncmp(line, "Y=", 2) == 0) {
        y = std::atoi(line + 2);
      }
    }
    pclose(pipe);
    return x && y ? std::optional<POINT>(POINT{*x, *y}) : std::nullopt;
  }

  // Whether the spawned program's list shows a first row: its band below the header is no
  // longer one plain colour.
  bool ProgramShowsARow() const {
    const std::optional<POINT> origin = ProgramOrigin();
    if (!origin) {
      return false;
    }
    const CRect list = m_window->AlbumList()->GetPos();
    const int top = m_window->AlbumList()->GetHeader()->GetPos().bottom + 2;
    GdkPixbuf* band =
        gdk_pixbuf_get_from_window(gdk_get_default_root_window(), origin->x + list.left + 2,
                                   origin->y + top, list.GetWidth() - 4, 16);
    if (band == nullptr) {
      return false;
    }
    const guchar* pixels = gdk_pixbuf_get_pixels(band);
    const int stride = gdk_pixbuf_get_rowstride(band);
    const int channels = gdk_pixbuf_get_n_channels(band);
    bool plain = true;
    for (int y = 0; y < gdk_pixbuf_get_height(band) && plain; ++y) {
      for (int x = 0; x < gdk_pixbuf_get_width(band) && plain; ++x) {
        plain = std::memcmp(pixels + y * stride + x * channels, pixels, 3) == 0;
      }
    }
    g_object_unref(band);
    return !plain;
  }

  // How long the program took to end after `ask`, or nothing when it did not end within 10 s.
  std::optional<std::chrono::milliseconds> TimeToExit(const std::function<void()>& ask) {
    const auto start = std::chrono::steady_clock::now();
    ask();
    const int status = WaitExit(m_pid, 10);
    m_pid = -1;
    if (status != 0) {
      ADD_FAILURE() << "exit status " << status;
      return std::nullopt;
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
  }

  TempDir m_program;
  TempDir m_home;
  pid_t m_pid = -1;
};

TEST_F(SpawnedProgramTest, TheCloseButtonDuringASlowDownloadEndsTheProgramWithinASecond) {
  m_service.ServeUser(20011, {{"s1", "Slow", 3, false, "", 50u << 20, "slow"}});
  ClickProgram(L"edit_zu");
  Type("20011");
  ClickProgram(L"btn_get");
  // "Select all" ticks the rows there are: it waits for the list to show.
  ASSERT_TRUE(PumpUntil([&] { return ProgramShowsARow(); }, 30)) << "the album list never showed";
  ClickProgram(L"opt_select_all");
  ClickProgram(L"btn_down");
  const std::filesystem::path album = m_home.Path() / "photos" / "20011" / "Slow";
  ASSERT_TRUE(PumpUntil(
      [&] {
        std::error_code ec;
        return std::filesystem::exists(album, ec) && !std::filesystem::is_empty(album, ec);
      },
      30))
      << "the download never began";
  const auto took = TimeToExit([&] { ClickProgram(L"closebtn"); });
  ASSERT_TRUE(took.has_value());
  EXPECT_LT(*took, std::chrono::seconds(1));
  // The photos in flight left no file of their own: only their part files, which the archive keeps
  // for resuming these large photos.
  std::string error;
  const auto archive = DownloadArchive::Open(m_home.Path() / "photos", &error);
  ASSERT_NE(archive, nullptr) << error;
  std::set<std::string> kept;
  for (const PartRecord& part : archive->Parts(20011, "s1")) {
    kept.insert(WideToUtf8(part.partName));
  }
  for (const auto& entry : std::filesystem::directory_iterator(album)) {
    EXPECT_EQ(kept.count(entry.path().filename().string()), 1u) << entry.path();
  }
}

TEST_F(SpawnedProgramTest, ASignalEndsTheProgramAlsoWhileANoticeOrTheFolderPickerIsOpen) {
  ClickProgram(L"btn_down");  // no rows: the empty-list notice
  ASSERT_TRUE(XdotoolAndWait({"search", "--sync", "--onlyvisible", "--name", "^提示$"}, 30));
  auto took = TimeToExit([&] { kill(m_pid, SIGTERM); });
  ASSERT_TRUE(took.has_value());
  EXPECT_LT(*took, std::chrono::seconds(1));

  m_pid = SpawnWithHome((m_program.Path() / "zupictrove").string(), {}, m_home.Path());
  ASSERT_TRUE(XdotoolAndWait({"search", "--sync", "--onlyvisible", "--name", "^DuRavuv$"}, 60));
  ClickProgram(L"btn_brow");
  ASSERT_TRUE(
      XdotoolAndWait({"search", "--sync", "--onlyvisible", "--name", "^请选择文件夹$"}, 30));
  took = TimeToExit([&] { kill(m_pid, SIGINT); });
  ASSERT_TRUE(took.has_value());
  EXPECT_LT(*took, std::chrono::seconds(1));
}

}  // namespace
