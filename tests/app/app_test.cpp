#include <gtest/gtest.h>

#include "app/app_harness.h"
#include "catalogue/app_state.h"
#include "catalogue/service_config.h"
#include "download/download_settings.h"
#include "platform/code_page.h"
#include "skin/notices.h"
#include "skin/scrambled_text.h"

namespace {

std::wstring Notice(const wchar_t* scrambled) {
  return UnscrambleText(scrambled, kScrambleSeed);
}

// The notice at the end of a run with these numbers of completed and not completed albums.
std::vector<std::wstring> Finished(int completed, int notCompleted) {
  return {FormatCounts(Notice(kNoticeRunFinished), completed, notCompleted)};
}

TEST(AppTest, MainWindowShowsItsControls) {
  AppHarness app;
  for (const wchar_t* name :
       {L"minbtn", L"closebtn", L"btn_get", L"btn_down", L"btn_brow", L"btn_album_ad",
        L"btn_kel_ad", L"opt_select_all", L"opt_select_pwd_album", L"edit_album_dir", L"edit_zu",
        L"album_list"}) {
    EXPECT_NE(app.Control(name), nullptr) << name;
  }
  EXPECT_EQ(app.Control(L"btn_down")->GetText(), L"下载相册");
  app.Screenshot("main-window.png");

  // The login window's layout and the album row's layout hold every control the code looks up.
  ASSERT_NE(app.Login(), nullptr);
  EXPECT_NE(app.LoginControl(L"login_btn_ok"), nullptr);
  EXPECT_NE(app.LoginControl(L"closebtn"), nullptr);
  EXPECT_NE(app.LoginControl(L"login_lbl_title"), nullptr);
  // The login window took its browser when it was made; asking again gives the same one.
  ASSERT_EQ(app.Backend()->browsers.size(), 1u);
  auto* browserControl = dynamic_cast<CActiveXUI*>(app.LoginControl(L"ie"));
  ASSERT_NE(browserControl, nullptr);
  IWebBrowser* browser = nullptr;
  EXPECT_EQ(browserControl->GetControl(IID_IWebBrowser2, &browser), S_OK);
  EXPECT_NE(browser, nullptr);
  EXPECT_EQ(browser, app.Browser());  // the one the login window made when it opened
  std::unique_ptr<CAlbumListItemUI> row(CreateAlbumRow(&app.PaintManager()));
  ASSERT_NE(row, nullptr);
  FindRowControls(row.get());
  for (CControlUI* control :
       {static_cast<CControlUI*>(row->m_optSelect), row->m_lblIndex, row->m_lblName, row->m_lblType,
        row->m_lblCount, row->m_lblStatus, row->m_lblRemark}) {
    EXPECT_NE(control, nullptr);
  }
}

TEST(AppTest, GetButtonTakesOnlyNumbersOfAtLeast10000) {
  AppHarness app;
  app.ServeUser(10000, {{"a1", "Trip", 1}});
  app.ServeUser(123456, {{"b1", "Home", 1}});
  app.ServeUser(12345, {{"c1", "Work", 1}});
  app.ServeUser(2147483647, {{"d1", "Max", 1}});
  AppState* state = AppState::Instance();
  struct Case {
    const wchar_t* typed;
    int32_t uin;  // 0: refused
  };
  const Case cases[] = {{L"9999", 0},
                        {L"10000", 10000},
                        {L" 123456 ", 123456},
                        {L"12345abc", 12345},
                        {L"	123456", 123456},
                        {L"abc", 0},
                        {L"", 0},
                        {L"2147483647", 2147483647},
                        {L"2147483648", 0},
                        {L"99999999999", 0},
                        {L"00000012345", 0}};
  CControlUI* hint = app.Control(L"lbl_uin_hint");
  ASSERT_NE(hint, nullptr);
  EXPECT_FALSE(hint->IsVisible());
  app.m_service.Service().TakeRequestCount("/fcgi-bin/fcg_list_album");
  for (const Case& c : cases) {
    state->m_uin = 77;
    app.Backend()->messageBoxes.clear();
    app.TypeUin(c.typed);
    app.Click(L"btn_get");
    app.WaitForAlbumList();
    // A refused number is said beside the field, with no message box and no request.
    EXPECT_TRUE(app.Notices().empty()) << c.typed;
    EXPECT_EQ(hint->IsVisible(), c.uin == 0) << c.typed;
    if (c.uin == 0) {
      EXPECT_EQ(state->m_uin, 77) << c.typed;
      EXPECT_EQ(app.m_service.Service().TakeRequestCount("/fcgi-bin/fcg_list_album"), 0) << c.typed;
      continue;
    }
    EXPECT_EQ(state->m_uin, c.uin) << c.typed;
    EXPECT_EQ(app.RowCount(), 1) << c.typed;
    // The four servers, then the chosen one once more.
    EXPECT_EQ(app.m_service.Service().TakeRequestCount("/fcgi-bin/fcg_list_album"), 5) << c.typed;
  }
  // The hint goes with the next keystroke.
  app.TypeUin(L"12");
  app.Click(L"btn_get");
  ASSERT_TRUE(hint->IsVisible());
  for (HeadlessNativeEdit* edit : app.Backend()->edits) {
    if (edit->m_text == L"12") {
      edit->UserType(L"123");
    }
  }
  EXPECT_FALSE(hint->IsVisible());
  EXPECT_TRUE(app.Backend()->messageBoxes.empty());
}

TEST(AppTest, ADownloadWithNoRowsOrNothingTickedSaysSoAndStartsNoRun) {
  AppHarness app;
  app.Click(L"btn_down");  // no rows: the empty-list notice, no run
  EXPECT_EQ(app.Notices(), std::vector<std::wstring>{Notice(kNoticeEmptyList)});
  EXPECT_EQ(app.Control(L"btn_down")->GetText(), L"下载相册");

  app.ServeUser(10001, {{"a1", "One", 1}, {"a2", "Two", 1}, {"a3", "Three", 1}});
  app.ListAlbums(10001);
  ASSERT_EQ(app.RowCount(), 3);
  app.Backend()->messageBoxes.clear();
  app.Click(L"btn_down");
  // Nothing ticked: it says so, and no run starts.
  EXPECT_EQ(app.Notices(), std::vector<std::wstring>{L"请先勾选要下载的相册。"});
  EXPECT_EQ(app.Control(L"btn_down")->GetText(), L"下载相册");
  EXPECT_FALSE(std::filesystem::exists(app.Root() / "10001" / "One"));
  EXPECT_EQ(app.Row(0)->m_lblRemark->GetText(), L"");
}

TEST(AppTest, TickedNormalAlbumsDownloadWithProgressAndFailedListsAreSkipped) {
  AppHarness app;
  app.ServeUser(10001, {{"a1", "Trip", 3},
                        {"a2", "Broken", 2, false, "status500"},
                        {"a3", "Home", 2},
                        {"a4", "Skipped", 2}});
  app.ListAlbums(10001);
  ASSERT_EQ(app.RowCount(), 4);
  EXPECT_EQ(app.Row(0)->m_lblIndex->GetText(), L"1");
  EXPECT_EQ(app.Row(0)->m_lblName->GetText(), L"Trip");
  EXPECT_EQ(app.Row(0)->m_lblType->GetText(), L"普通");
  EXPECT_EQ(app.Row(0)->m_lblCount->GetText(), L"3");
  EXPECT_EQ(app.Row(0)->GetUserData(), L"a1");
  for (int i : {0, 1, 2}) {
    app.Click(app.Row(i)->m_optSelect);
  }
  app.Click(L"btn_down");
  ASSERT_TRUE(app.WaitForRunEnd());
  EXPECT_EQ(app.Row(0)->m_lblStatus->GetText(), L"3");
  EXPECT_EQ(app.Row(1)->m_lblStatus->GetText(), L"-");  // its photo list failed: skipped
  EXPECT_EQ(app.Row(2)->m_lblStatus->GetText(), L"2");
  EXPECT_EQ(app.Row(3)->m_lblStatus->GetText(), L"-");
  EXPECT_TRUE(std::filesystem::exists(app.AlbumFolder(10001, "Trip") / "photo2.jpg"));
  EXPECT_EQ(std::filesystem::file_size(app.AlbumFolder(10001, "Home") / "photo1.jpg"), 1000u);
  EXPECT_FALSE(std::filesystem::exists(app.AlbumFolder(10001, "Broken")));
  EXPECT_EQ(app.Notices(), Finished(2, 1));
  EXPECT_EQ(app.Row(0)->m_lblRemark->GetText(), L"完成");
  EXPECT_EQ(app.Row(1)->m_lblRemark->GetText(), L"列表失败");
  EXPECT_EQ(app.Row(3)->m_lblRemark->GetText(), L"");
  EXPECT_TRUE(std::filesystem::is_empty(app.m_dir.Path() / "Res"));  // lists read and deleted
  app.Screenshot("main-window-after-run.png");
}

TEST(AppTest, PasswordAlbumsGoThroughTheLoginWindowAndTheWebCache) {
  AppHarness app;
  const FixtureAlbum secret("p1", "Secret", 2, true);
  const FixtureAlbum lost("p2", "Lost", 2, true);
  app.ServeUser(10002, {{"n1", "Open", 1}, secret, lost});
  app.ListAlbums(10002);
  ASSERT_EQ(app.RowCount(), 3);
  EXPECT_EQ(app.Row(1)->m_lblType->GetText(), L"加密");
  app.Click(L"opt_select_pwd_album");  // ticks the password albums only
  EXPECT_FALSE(app.Row(0)->m_optSelect->IsSelected());
  EXPECT_TRUE(app.Row(1)->m_optSelect->IsSelected());
  EXPECT_TRUE(app.Row(2)->m_optSelect->IsSelected());

  HeadlessWebBrowser* browser = app.Browser();
  ASSERT_NE(browser, nullptr);
  browser->frames = {{L"http://ads.example/", false, {}}, {L"user page frame", true, {}}};
  browser->onScript = [&](const std::wstring& script, HeadlessWebBrowser::Frame&) {
    if (script.find(L"myView.enter(1)") != std::wstring::npos) {
      app.CacheAlbumPage(10002, secret);  // the page opened the album: its answer is cached
    }
  };
  ASSERT_TRUE(app.StartRunUntilLoginOpens());
  EXPECT_EQ(browser->navigations[0],
            L"http://" + Utf8ToWide(app.m_service.Service().Host("user")) + L"/10002/photo/");
  EXPECT_EQ(app.LoginTitle(), L"请输入《Secret》相册密码");
  EXPECT_FALSE(app.LoginVisible());  // shown with the script, 6 s later
  app.Backend()->AdvanceClock(5999);
  EXPECT_FALSE(app.LoginVisible());
  app.Backend()->AdvanceClock(1);
  EXPECT_TRUE(app.LoginVisible());
  EXPECT_TRUE(browser->frames[0].scripts.empty());  // another origin: skipped
  ASSERT_EQ(browser->frames[1].scripts.size(), 1u);
  EXPECT_EQ(browser->frames[1].scripts[0],
            L"if( typeof myView != 'undefined' ){myView.tcisdStats('list.ablumcover');"
            L"myView.enter(1);}");
  app.ClickLoginClose();
  EXPECT_FALSE(app.LoginVisible());

  // The album comes from the cached answer; the next one has no answer there and is skipped.
  ASSERT_TRUE(app.RunUntil([&] { return browser->navigations.size() == 2; }));
  EXPECT_EQ(app.Row(1)->m_lblStatus->GetText(), L"2");
  EXPECT_EQ(std::filesystem::file_size(app.AlbumFolder(10002, "Secret") / "secret1.jpg"), 1000u);
  app.Backend()->AdvanceClock(6000);
  app.ClickLoginDone();
  ASSERT_TRUE(app.WaitForRunEnd());
  EXPECT_EQ(app.Row(2)->m_lblStatus->GetText(), L"-");
  EXPECT_EQ(app.Row(1)->m_lblRemark->GetText(), L"完成");
  EXPECT_EQ(app.Row(2)->m_lblRemark->GetText(), L"未找到页面");
  EXPECT_FALSE(std::filesystem::exists(app.AlbumFolder(10002, "Open")));
  EXPECT_EQ(app.Notices(), Finished(1, 1));
}

TEST(AppTest, SignInReloadsTheListOrSaysItStillCannotBeRead) {
  AppHarness app;
  app.TypeUin(L"10003");
  app.Click(L"btn_get");  // no server lists the user: sign in first
  app.WaitForAlbumList();
  HeadlessWebBrowser* browser = app.Browser();
  ASSERT_TRUE(app.LoginVisible());
  EXPECT_EQ(browser->navigations.back(),
            L"http://" + Utf8ToWide(app.m_service.Service().Host("user")) + L"/10003/photo/");
  EXPECT_EQ(app.LoginTitle(), L"请登录Zu空间");
  app.ClickLoginClose();
  ASSERT_TRUE(app.RunUntil([&] { return !app.Notices().empty(); }));
  EXPECT_EQ(app.Notices(), std::vector<std::wstring>{Notice(kNoticeReloadFailed)});
  EXPECT_EQ(app.RowCount(), 0);

  app.Backend()->messageBoxes.clear();
  app.Click(L"btn_get");
  app.WaitForAlbumList();
  ASSERT_TRUE(app.LoginVisible());
  app.ServeUser(10003, {{"a1", "After", 1}, {"a2", "Sign-in", 1}});  // signed in on the page
  app.ClickLoginDone();
  ASSERT_TRUE(app.RunUntil([&] { return app.RowCount() == 2; }));
  EXPECT_TRUE(app.Notices().empty());
}

TEST(AppTest, StoppedRunsNeverMoveALaterRunOn) {
  AppHarness app;
  const FixtureAlbum slowSecret("p1", "Slow secret", 20, true, "", 3000, "slow");
  app.ServeUser(10004,
                {{"n1", "Slow", 20, false, "", 3000, "slow"}, slowSecret, {"n2", "Quick", 2}});
  app.CacheAlbumPage(10004, slowSecret);
  app.ListAlbums(10004);
  ASSERT_EQ(app.RowCount(), 3);
  app.Click(L"opt_select_all");

  // Stop during a normal album: the caption turns back and the run ends where it was.
  app.Click(L"btn_down");
  EXPECT_EQ(app.Control(L"btn_down")->GetText(), L"停止下载");
  ASSERT_TRUE(app.RunUntil([&] { return app.Row(0)->m_lblStatus->GetText() != L"-"; }));
  app.Click(L"btn_down");
  EXPECT_TRUE(app.RunIsOver());
  app.WaitForWorker();
  app.Backend()->RunUntilIdle();
  EXPECT_EQ(AppState::Instance()->m_currentAlbum, 0);
  EXPECT_LT(std::stoi(app.Row(0)->m_lblStatus->GetText()), 20);
  EXPECT_TRUE(AppHarness::HiddenFiles(app.AlbumFolder(10004, "Slow")).empty());

  // Stop during a password album, then start again at once: the stopped album's late end
  // belongs to the old run and must not skip a row of the new one.
  app.Row(0)->m_optSelect->Selected(false);
  ASSERT_TRUE(app.StartRunUntilLoginShows());
  app.ClickLoginClose();
  ASSERT_TRUE(app.RunUntil([&] { return app.Row(1)->m_lblStatus->GetText() != L"-"; }));
  app.Click(L"btn_down");  // stop
  ASSERT_TRUE(app.RunIsOver());
  app.Row(1)->m_optSelect->Selected(false);
  app.Click(L"btn_down");  // a new run while the old worker may still be finishing
  ASSERT_TRUE(app.WaitForRunEnd());
  EXPECT_EQ(app.Row(2)->m_lblStatus->GetText(), L"2");
  EXPECT_EQ(AppState::Instance()->m_currentAlbum, 3);
  app.Backend()->RunUntilIdle();
  EXPECT_EQ(AppState::Instance()->m_currentAlbum, 3);
  EXPECT_LT(std::stoi(app.Row(1)->m_lblStatus->GetText()), 20);
  EXPECT_EQ(app.Row(1)->m_lblRemark->GetText(), L"已停止");
  EXPECT_EQ(app.Notices(), Finished(1, 0));
}

TEST(AppTest, StoppingWhileTheLoginWindowIsPendingGivesItUp) {
  AppHarness app;
  const FixtureAlbum secret("p1", "Last secret", 2, true);
  app.ServeUser(10008, {{"n1", "First", 1}, secret});
  app.CacheAlbumPage(10008, secret);
  app.ListAlbums(10008);
  app.Click(L"opt_select_pwd_album");
  ASSERT_TRUE(app.StartRunUntilLoginOpens());
  app.Click(L"btn_down");  // stop while the login window is about to show
  EXPECT_TRUE(app.RunIsOver());
  EXPECT_EQ(app.Row(1)->m_lblRemark->GetText(), L"已停止");
  app.Backend()->AdvanceClock(6000);
  EXPECT_FALSE(app.LoginVisible());  // its timer was disarmed: nothing is steered or shown
  EXPECT_TRUE(app.Browser()->frames.empty() || app.Browser()->frames[0].scripts.empty());
  // Even a click that reaches the hidden window acts on nothing.
  app.ClickLoginDone();
  app.Backend()->RunUntilIdle();
  EXPECT_FALSE(std::filesystem::exists(app.AlbumFolder(10008, "Last secret")));
  EXPECT_TRUE(app.Notices().empty());
  EXPECT_EQ(AppState::Instance()->m_currentAlbum, 1);
}

TEST(AppTest, AlbumIdsNeverNameAFileOutsideTheWorkingFolder) {
  EXPECT_EQ(PhotoListFileName("V1_a-b"), L"V1_a-b");
  EXPECT_EQ(PhotoListFileName("../x"), L"%2E%2E%2Fx");
  EXPECT_EQ(PhotoListFileName(".."), L"%2E%2E");
  EXPECT_EQ(PhotoListFileName("a\\b c"), L"a%5Cb%20c");
  EXPECT_EQ(AlbumIdForUrl("../x y&z#%"), "../x%20y%26z%23%25");
  EXPECT_EQ(AlbumIdForUrl("V1_a-b"), "V1_a-b");

  AppHarness app;
  app.ServeUser(10005, {{"../../escape me", "Odd", 2}});
  app.ListAlbums(10005);
  ASSERT_EQ(app.RowCount(), 1);
  EXPECT_EQ(app.Row(0)->GetUserData(), L"../../escape me");
  app.Click(L"opt_select_all");
  app.Click(L"btn_down");
  ASSERT_TRUE(app.WaitForRunEnd());
  EXPECT_EQ(app.Row(0)->m_lblStatus->GetText(), L"2");  // the service got the id unchanged
  EXPECT_TRUE(std::filesystem::exists(app.AlbumFolder(10005, "Odd") / "photo1.jpg"));
  EXPECT_FALSE(std::filesystem::exists(app.m_dir.Path().parent_path() / "escape me.xml"));
  EXPECT_TRUE(std::filesystem::is_empty(app.m_dir.Path() / "Res"));
}

TEST(AppTest, AnAlbumWhoseNameCleansToNothingGetsItsOwnFolder) {
  AppHarness app;
  app.ServeUser(10006, {{"a1", "???", 1}});
  app.ListAlbums(10006);
  app.Click(L"opt_select_all");
  app.Click(L"btn_down");
  ASSERT_TRUE(app.WaitForRunEnd());
  EXPECT_TRUE(std::filesystem::exists(app.AlbumFolder(10006, "未命名相册") / "photo0.jpg"));
  EXPECT_FALSE(std::filesystem::exists(app.Root() / "10006" / "photo0.jpg"));
}

TEST(AppTest, EnterInTheUserNumberFieldDoesWhatTheGetButtonDoesWhileItCanBePressed) {
  AppHarness app;
  app.ServeUser(10008, {{"a1", "One", 1}, {"a2", "Two", 1}});
  const HWND main = app.Window()->GetHWND();
  HeadlessNativeEdit* field = app.Backend()->edits.at(0);  // "edit_zu" comes first
  app.TypeUin(L"10008");
  field->UserFocus();  // a click into the field
  EXPECT_EQ(app.PaintManager().GetFocus(), app.Control(L"edit_zu"));
  app.Backend()->Key(main, VK_RETURN);
  app.WaitForAlbumList();
  ASSERT_EQ(app.RowCount(), 2);

  // Enter does what the button does, and nothing while the button cannot be pressed.
  app.ServeUser(10009, {{"b1", "Three", 1}});
  app.TypeUin(L"10009");
  app.Control(L"btn_get")->SetEnabled(false);
  app.Backend()->Key(main, VK_RETURN);
  app.WaitForAlbumList();
  EXPECT_EQ(app.RowCount(), 2);
  app.Control(L"btn_get")->SetEnabled(true);
  app.Backend()->Key(main, VK_RETURN);
  app.WaitForAlbumList();
  EXPECT_EQ(app.RowCount(), 1);
}

TEST(AppTest, EscapeInTheLoginWindowIsItsCloseButtonAndTheMainWindowIgnoresIt) {
  AppHarness app;
  const HWND main = app.Window()->GetHWND();
  app.TypeUin(L"10003");                    // no server lists this user: sign in first
  app.Backend()->edits.at(0)->UserFocus();  // the keyboard is in "edit_zu"
  app.Backend()->Key(main, VK_RETURN);
  app.WaitForAlbumList();
  ASSERT_TRUE(app.LoginVisible());
  app.Backend()->Key(main, VK_ESCAPE);  // the main window has no use for it
  EXPECT_TRUE(app.LoginVisible());
  EXPECT_TRUE(app.Backend()->IsNativeWindowVisible(main));
  app.Backend()->Key(app.Login()->GetHWND(), VK_ESCAPE);
  EXPECT_FALSE(app.LoginVisible());
  ASSERT_TRUE(app.RunUntil([&] { return !app.Notices().empty(); }));
  EXPECT_EQ(app.Notices(), std::vector<std::wstring>{Notice(kNoticeReloadFailed)});
}

TEST(AppTest, ClosingWhileAnAlbumDownloadsLeavesNoHalfWrittenPhoto) {
  for (const bool altF4 : {false, true}) {
    AppHarness app;
    app.ServeUser(10007, {{"n1", "Slow", 20, false, "", 4000, "slow"}});
    app.TypeUin(L"10007");
    app.Click(L"btn_get");
    app.WaitForAlbumList();
    app.Click(L"opt_select_all");
    app.Click(L"btn_down");
    ASSERT_TRUE(app.RunUntil([&] { return app.Row(0)->m_lblStatus->GetText() != L"-"; }));
    const HWND hwnd = app.Window()->GetHWND();
    if (altF4) {
      app.Backend()->System(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      ShutDownMainWindow(hwnd);  // what the program does when its loop ends
    } else {
      app.Click(L"closebtn");
    }
    EXPECT_EQ(WindowFromHandle(hwnd), nullptr);
    const auto folder = app.AlbumFolder(10007, "Slow");
    EXPECT_TRUE(AppHarness::HiddenFiles(folder).empty());
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      EXPECT_EQ(entry.file_size(), 4000u) << entry.path();
    }
  }
}

}  // namespace

namespace {

TEST(AppTest, AServiceThatCannotBeReachedSaysSoAndOpensNoLoginWindow) {
  AppHarness app;
  app.ServeUser(10001, {{"a1", "One", 1}, {"a2", "Two", 1}});
  app.ListAlbums(10001);
  ASSERT_EQ(app.RowCount(), 2);

  // Every album-list server answers 500: a failed read of another number leaves no rows of the
  // first one, and says that the service cannot be reached.
  app.ServeUser(10002, {{"b1", "Three", 1}});
  const std::string list = ReadFileBytes(app.m_service.m_files.Path() / "alist1" / "10002.xml");
  for (int server = 1; server <= 4; ++server) {
    const std::string file = "alist" + std::to_string(server) + "/10002.xml";
    app.m_service.m_files.Write(file, list);
    app.m_service.m_files.Write(file + ".fault", "status500");
  }
  app.Backend()->messageBoxes.clear();
  app.TypeUin(L"10002");
  app.Click(L"btn_get");
  EXPECT_EQ(app.RowCount(), 0);  // at once, before the read ends
  app.WaitForAlbumList();
  EXPECT_EQ(app.RowCount(), 0);
  EXPECT_EQ(app.Notices(), std::vector<std::wstring>{Notice(kNoticeUnreachable)});
  EXPECT_FALSE(app.LoginVisible());
  app.Backend()->messageBoxes.clear();
  app.Click(L"btn_down");  // no rows: nothing of 10001's is downloaded under 10002
  EXPECT_EQ(app.Notices(), std::vector<std::wstring>{Notice(kNoticeEmptyList)});

  // No server reachable at all.
  ServiceConfig nowhere = app.m_service.Config();
  for (std::wstring& host : nowhere.albumListHosts) {
    host = L"127.0.0.1:1";
  }
  SetService(nowhere);
  app.Backend()->messageBoxes.clear();
  app.TypeUin(L"10001");
  app.Click(L"btn_get");
  app.WaitForAlbumList();
  EXPECT_EQ(app.Notices(), std::vector<std::wstring>{Notice(kNoticeUnreachable)});
  EXPECT_FALSE(app.LoginVisible());
  SetService(app.m_service.Config());
}

TEST(AppTest, TheTickOptionsFollowTheRows) {
  AppHarness app;
  app.ServeUser(10001, {{"a1", "One", 1}, {"a2", "Two", 1}, {"p1", "Secret", 1, true}});
  app.ListAlbums(10001);
  auto* all = dynamic_cast<COptionUI*>(app.Control(L"opt_select_all"));
  auto* secret = dynamic_cast<COptionUI*>(app.Control(L"opt_select_pwd_album"));
  ASSERT_NE(all, nullptr);
  ASSERT_NE(secret, nullptr);
  EXPECT_TRUE(secret->IsEnabled());
  app.Click(L"opt_select_all");
  EXPECT_TRUE(all->IsSelected());
  EXPECT_TRUE(secret->IsSelected());   // the password album is ticked too
  app.Click(app.Row(0)->m_optSelect);  // unticked by hand
  EXPECT_FALSE(all->IsSelected());
  EXPECT_TRUE(secret->IsSelected());
  app.Click(app.Row(2)->m_optSelect);
  EXPECT_FALSE(secret->IsSelected());
  app.Click(app.Row(0)->m_optSelect);
  app.Click(app.Row(2)->m_optSelect);
  EXPECT_TRUE(all->IsSelected());

  // A new list starts with nothing ticked; without a password album, its option is off.
  app.ServeUser(10002, {{"b1", "Plain", 1}});
  app.ListAlbums(10002);
  EXPECT_FALSE(all->IsSelected());
  EXPECT_FALSE(secret->IsSelected());
  EXPECT_FALSE(secret->IsEnabled());
  EXPECT_FALSE(app.Row(0)->m_optSelect->IsSelected());
}

}  // namespace

namespace {

TEST(AppTest, AWebPageThatCannotBeOpenedIsGivenByItsAddress) {
  AppHarness app;
  app.Click(L"btn_album_ad");
  ASSERT_EQ(app.Backend()->openedPages.size(), 1u);
  EXPECT_TRUE(app.Notices().empty());
  app.Backend()->webPagesOpen = false;
  app.Click(L"btn_kel_ad");
  ASSERT_EQ(app.Notices().size(), 1u);
  EXPECT_EQ(app.Notices()[0], L"无法打开网页，请在浏览器中打开：" + FixedWebPage(2));
}

}  // namespace

namespace {

TEST(AppTest, TheDownloadFolderFieldShowsTheFolderAndIsChangedOnlyByThePicker) {
  AppHarness app;
  CControlUI* field = app.Control(L"edit_album_dir");
  ASSERT_NE(field, nullptr);
  const std::wstring root = field->GetText();
  EXPECT_EQ(root, Utf8ToWide(app.Root().string()));
  for (HeadlessNativeEdit* edit : app.Backend()->edits) {
    if (edit->m_text == root) {
      edit->UserType(L"/somewhere/else");  // typing changes nothing
    }
  }
  EXPECT_EQ(field->GetText(), root);
  const std::filesystem::path other = app.m_dir.Path() / "other";
  std::filesystem::create_directories(other);
  app.Backend()->pickerAnswers.push_back(Utf8ToWide(other.string()));
  app.Click(L"btn_brow");
  EXPECT_EQ(field->GetText(), Utf8ToWide(other.string()));
  EXPECT_EQ(DownloadSettings::Instance()->GetDownloadRoot(), Utf8ToWide(other.string()));
}

}  // namespace
