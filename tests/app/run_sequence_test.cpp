// Download runs driven in the orders users click in: stops, restarts, closes, login windows left
// open, late messages. Each test checks the files on disk and how long the window was held.

#include <gtest/gtest.h>

#include "app/app_harness.h"
#include "catalogue/app_messages.h"
#include "catalogue/app_state.h"
#include "download/album_lock.h"
#include "platform/posted_messages.h"
#include "skin/notices.h"
#include "skin/scrambled_text.h"
#include "uilib/window_wnd.h"

namespace {

constexpr std::chrono::milliseconds kMostTheWindowMayWait{250};

std::vector<std::wstring> Finished(int completed, int notCompleted) {
  return {FormatCounts(UnscrambleText(kNoticeRunFinished, kScrambleSeed), completed, notCompleted)};
}

// `count` photos named photo0.jpg ... of `bytes` bytes each: what a completed album holds.
std::map<std::string, uintmax_t> CompleteAlbum(int count, uintmax_t bytes) {
  std::map<std::string, uintmax_t> files;
  for (int i = 0; i < count; ++i) {
    files["photo" + std::to_string(i) + ".jpg"] = bytes;
  }
  return files;
}

TEST(RunSequenceTest, AGivenUpLoginWindowNeverEmptiesAnotherAlbum) {
  AppHarness app;
  const FixtureAlbum beta("b1", "Beta", 2, true);
  app.ServeUser(10011, {{"a1", "Alpha", 6, false, "", 3000, "slow"}, beta});
  app.CacheAlbumPage(10011, beta);
  app.ListAlbums(10011);
  app.Row(1)->m_optSelect->Selected(true);
  // Alpha is not ticked yet: Beta's login opens at once.
  ASSERT_TRUE(app.StartRunUntilLoginShows());
  const uint32_t staleTicket = app.Login()->Ticket();
  ASSERT_NE(staleTicket, 0u);
  app.Click(L"btn_down");  // stop: the login window goes
  EXPECT_FALSE(app.LoginVisible());

  app.Row(0)->m_optSelect->Selected(true);
  app.Click(L"btn_down");
  ASSERT_TRUE(app.RunUntil([&] { return app.Row(0)->m_lblStatus->GetText() != L"-"; }));
  // 完成 of the given-up login arrives while Alpha downloads.
  PostMessage(app.Window()->GetHWND(), WM_PASSWORD_RESUME, staleTicket, 0);
  app.ClickLoginDone();
  ASSERT_TRUE(app.RunUntil([&] { return app.Browser()->navigations.size() == 2; }));
  EXPECT_EQ(app.AlbumFiles(10011, "Alpha"), CompleteAlbum(6, 3000));
  EXPECT_FALSE(std::filesystem::exists(app.AlbumFolder(10011, "Beta")));
  // The login this run opened does its work.
  app.Backend()->AdvanceClock(6000);
  app.ClickLoginDone();
  ASSERT_TRUE(app.WaitForRunEnd());
  EXPECT_EQ(app.AlbumFiles(10011, "Alpha"), CompleteAlbum(6, 3000));
  EXPECT_EQ(app.AlbumFiles(10011, "Beta").size(), 2u);
  EXPECT_EQ(app.Notices(), Finished(2, 0));
  EXPECT_LT(app.LongestBlock(), kMostTheWindowMayWait);
}

TEST(RunSequenceTest, AStopDuringASlowPhotoEndsItAtOnceAndARestartRunsCleanly) {
  AppHarness app;
  // A photo that trickles 50 MB, and one that stalls half way.
  app.ServeUser(10012, {{"s1", "Trickle", 3, false, "", 50u << 20, "slow"},
                        {"s2", "Stall", 2, false, "", 20000, "stall"},
                        {"q1", "Quick", 3}});
  app.ListAlbums(10012);
  app.Click(L"opt_select_all");
  for (const char* slow : {"Trickle", "Stall"}) {
    app.ResetLongestBlock();
    app.Click(L"btn_down");
    ASSERT_TRUE(app.RunUntil(
        [&] { return !AppHarness::HiddenFiles(app.AlbumFolder(10012, slow)).empty(); }));
    app.Click(L"btn_down");  // stop with the slow photo in flight
    app.Click(L"btn_down");  // and start again at once
    EXPECT_LT(app.LongestBlock(), kMostTheWindowMayWait) << slow;
    app.Click(L"btn_down");
    ASSERT_TRUE(app.RunIsOver());
    app.Row(0)->m_optSelect->Selected(false);  // the second round stops in the stalled album
    app.Backend()->RunUntilIdle();
  }
  app.JoinWorker();
  app.Backend()->RunUntilIdle();
  // The trickling photo is large: what came of it stays to be resumed, and nothing else.
  EXPECT_TRUE(app.StrayFiles(10012, "s1", "Trickle").empty());
  EXPECT_TRUE(AppHarness::HiddenFiles(app.AlbumFolder(10012, "Stall")).empty());
  EXPECT_EQ(app.Row(1)->m_lblRemark->GetText(), L"已停止");

  // A full run after the stops: the late ends of the stopped workers move nothing on.
  app.Row(1)->m_optSelect->Selected(false);
  app.Click(L"btn_down");
  ASSERT_TRUE(app.WaitForRunEnd());
  EXPECT_EQ(app.AlbumFiles(10012, "Quick"), CompleteAlbum(3, 1000));
  EXPECT_EQ(app.Row(2)->m_lblRemark->GetText(), L"完成");
  EXPECT_EQ(app.Notices(), Finished(1, 0));
  EXPECT_EQ(AppState::Instance()->m_currentAlbum, 3);
}

TEST(RunSequenceTest, CloseDuringAPasswordAlbumStartsNothingMoreAndEndsAtOnce) {
  AppHarness app;
  const FixtureAlbum secret("p1", "Secret", 4, true, "", 50u << 20, "slow");
  app.ServeUser(10013, {secret, {"n2", "Next", 2}});
  app.CacheAlbumPage(10013, secret);
  app.ListAlbums(10013);
  app.Click(L"opt_select_all");
  ASSERT_TRUE(app.StartRunUntilLoginShows());
  app.ClickLoginDone();
  ASSERT_TRUE(app.RunUntil(
      [&] { return !AppHarness::HiddenFiles(app.AlbumFolder(10013, "Secret")).empty(); }));
  const HWND hwnd = app.Window()->GetHWND();
  app.ResetLongestBlock();
  app.Click(L"closebtn");
  app.Backend()->RunUntilIdle();
  EXPECT_LT(app.LongestBlock(), kMostTheWindowMayWait);
  EXPECT_EQ(WindowFromHandle(hwnd), nullptr);
  EXPECT_FALSE(std::filesystem::exists(app.AlbumFolder(10013, "Next")));
  EXPECT_TRUE(app.StrayFiles(10013, "p1", "Secret").empty());
}

TEST(RunSequenceTest, TheEndNoticeAndTheRemarksTellWhatHappened) {
  AppHarness app;
  app.ServeUser(10014, {{"f1", "Gone", 2, false, "status500"},
                        {"f2", "Broken photos", 3, false, "", 1000, "status500"},
                        {"p1", "No page", 2, true}});
  app.ListAlbums(10014);
  app.Click(L"opt_select_all");
  ASSERT_TRUE(app.StartRunUntilLoginShows());
  app.ClickLoginClose();
  ASSERT_TRUE(app.WaitForRunEnd());
  EXPECT_EQ(app.Notices(), Finished(0, 3));  // every ticked album failed: no success claimed
  EXPECT_EQ(app.Row(0)->m_lblRemark->GetText(), L"列表失败");
  EXPECT_EQ(app.Row(1)->m_lblRemark->GetText(), L"部分失败 (3 张)");
  EXPECT_EQ(app.Row(2)->m_lblRemark->GetText(), L"未找到页面");
  EXPECT_TRUE(app.AlbumFiles(10014, "Broken photos").empty());
  app.Screenshot("main-window-remarks.png");
}

TEST(RunSequenceTest, AlbumsOfOneNameGetFoldersOfTheirOwn) {
  AppHarness app;
  app.ServeUser(10015, {{"t1", "Trip", 2, false, "", 1111},
                        {"t2", "Trip", 3, false, "", 2222},
                        {"t3", "Trip_1", 1, false, "", 3333},
                        {"t4", "T?r?i?p", 1, false, "", 4444}});
  app.ListAlbums(10015);
  app.Click(L"opt_select_all");
  app.Click(L"btn_down");
  ASSERT_TRUE(app.WaitForRunEnd());
  EXPECT_EQ(app.AlbumFiles(10015, "Trip"), CompleteAlbum(2, 1111));
  EXPECT_EQ(app.AlbumFiles(10015, "Trip_1"), CompleteAlbum(3, 2222));
  EXPECT_EQ(app.AlbumFiles(10015, "Trip_1_1"), CompleteAlbum(1, 3333));
  EXPECT_EQ(app.AlbumFiles(10015, "Trip_2"), CompleteAlbum(1, 4444));
  EXPECT_EQ(app.Notices(), Finished(4, 0));

  // A later run of the second album alone keeps it in its own folder, and the first album's
  // photos are untouched.
  app.Backend()->messageBoxes.clear();
  app.Row(0)->m_optSelect->Selected(false);
  app.Row(2)->m_optSelect->Selected(false);
  app.Row(3)->m_optSelect->Selected(false);
  app.Click(L"btn_down");
  ASSERT_TRUE(app.WaitForRunEnd());
  EXPECT_EQ(app.AlbumFiles(10015, "Trip"), CompleteAlbum(2, 1111));
  EXPECT_EQ(app.AlbumFiles(10015, "Trip_1"), CompleteAlbum(3, 2222));
  EXPECT_EQ(app.Row(1)->m_lblStatus->GetText(), L"3");
  EXPECT_EQ(app.Row(1)->m_lblRemark->GetText(), L"完成");
}

TEST(RunSequenceTest, ARunClearsItsRowsAndCountsThePhotosThatAreThere) {
  AppHarness app;
  // The first album's photo list comes 3 s late, so the start of the second run can be seen.
  app.ServeUser(10017, {{"k1", "Kept", 3, false, "late", 1000},
                        {"k2", "Later", 2, false, "", 1000},
                        {"k3", "Elsewhere", 2, false, "", 1000}});
  app.ListAlbums(10017);
  app.Click(L"opt_select_all");
  app.Click(L"btn_down");
  ASSERT_TRUE(app.WaitForRunEnd());
  EXPECT_EQ(app.Row(0)->m_lblStatus->GetText(), L"3");
  EXPECT_EQ(app.Row(0)->m_lblRemark->GetText(), L"完成");

  // Another copy of the program is downloading the third album.
  AlbumLock::Result locked;
  auto other = AlbumLock::TryTake(app.Root(), 10017, "k3", &locked);
  ASSERT_EQ(locked, AlbumLock::Result::kTaken);
  const auto elsewhere = app.AlbumFiles(10017, "Elsewhere");
  app.Row(1)->m_optSelect->Selected(false);
  app.Backend()->messageBoxes.clear();
  app.Click(L"btn_down");
  // At the start, no ticked row tells of the last run; the unticked one is left as it was.
  EXPECT_EQ(app.Row(0)->m_lblStatus->GetText(), L"-");
  EXPECT_EQ(app.Row(0)->m_lblRemark->GetText(), L"");
  EXPECT_EQ(app.Row(2)->m_lblRemark->GetText(), L"");
  EXPECT_EQ(app.Row(1)->m_lblStatus->GetText(), L"2");
  EXPECT_EQ(app.Row(1)->m_lblRemark->GetText(), L"完成");
  ASSERT_TRUE(app.WaitForRunEnd());
  // The kept album counts the photos already there; the album in use is left alone.
  EXPECT_EQ(app.Row(0)->m_lblStatus->GetText(), L"3");
  EXPECT_EQ(app.Row(0)->m_lblRemark->GetText(), L"完成");
  EXPECT_EQ(app.Row(2)->m_lblRemark->GetText(), L"正在别处下载");
  EXPECT_EQ(app.AlbumFiles(10017, "Elsewhere"), elsewhere);
  EXPECT_EQ(app.Notices(), Finished(1, 1));
}

TEST(RunSequenceTest, APasswordAlbumTakesOnlyItsOwnPage) {
  AppHarness app;
  const FixtureAlbum v2("V2", "Short id", 1, true);
  const FixtureAlbum v22("V22", "Long id", 3, true);
  app.ServeUser(10016, {v2, v22});
  app.CacheAlbumPage(10016, v22);  // only the other album's page is cached
  app.ListAlbums(10016);
  app.Row(0)->m_optSelect->Selected(true);
  ASSERT_TRUE(app.StartRunUntilLoginShows());
  app.ClickLoginDone();
  ASSERT_TRUE(app.WaitForRunEnd());
  EXPECT_EQ(app.Row(0)->m_lblRemark->GetText(), L"未找到页面");
  EXPECT_FALSE(std::filesystem::exists(app.AlbumFolder(10016, "Short id")));
}

TEST(RunSequenceTest, LateMessagesOfAnEarlierRunOrLoginActOnNothing) {
  AppHarness app;
  const FixtureAlbum secret("p1", "Secret", 1, true);
  app.ServeUser(10017, {{"n1", "First", 2}, secret});
  app.ListAlbums(10017);
  app.Click(L"opt_select_all");
  ASSERT_TRUE(app.StartRunUntilLoginOpens());
  const uint32_t run = app.RunNumber();
  const HWND hwnd = app.Window()->GetHWND();
  app.Click(L"btn_down");                      // stop while the password album's login is pending
  ASSERT_TRUE(app.StartRunUntilLoginOpens());  // a new run, which reaches the login again
  PostMessage(hwnd, WM_PHOTO_SAVED, RunParam(run, 0), 99);
  PostMessage(hwnd, WM_ALBUM_DONE, RunParam(run, 1), OutcomeParam(AlbumOutcome::kCompleted, 0));
  PostMessage(hwnd, WM_ALBUMS_RELOAD, 0, 0);
  app.Backend()->RunUntilIdle();
  EXPECT_EQ(app.Row(0)->m_lblStatus->GetText(), L"2");
  EXPECT_EQ(AppState::Instance()->m_currentAlbum, 1);
  EXPECT_FALSE(app.RunIsOver());

  // Asking for another user's list while the login waits for a password gives that login up:
  // its timer never steers the sign-in page.
  app.ServeUser(10018, {});
  app.Browser()->frames = {{L"user page frame", true, {}}};
  app.ListAlbums(10018);
  EXPECT_TRUE(app.RunIsOver());
  ASSERT_TRUE(app.LoginVisible());
  EXPECT_EQ(app.LoginTitle(), L"请登录Zu空间");
  app.Backend()->AdvanceClock(12000);
  EXPECT_TRUE(app.Browser()->frames[0].scripts.empty());
  app.ClickLoginDone();
  ASSERT_TRUE(app.RunUntil([&] { return !app.Notices().empty(); }));
  EXPECT_EQ(app.Notices().size(), 1u);  // the reload failed, once
  EXPECT_FALSE(std::filesystem::exists(app.AlbumFolder(10017, "Secret")));
}

TEST(RunSequenceTest, TheListIsReadWhileTheWindowStaysLiveAndTheLatestNumberWins) {
  AppHarness app;
  app.ServeUser(10031, {{"a1", "First user", 1}});
  app.ServeUser(10032, {{"b1", "Second user", 1}, {"b2", "Also second", 1}});
  app.ServeUser(10033, {{"c1", "Stalled", 1}});
  app.m_service.m_files.Write("alist1/10031.xml.fault", "slow");
  app.m_service.m_files.Write("alist1/10033.xml.fault", "stall");

  // Another number asked for while the first is read: only the second one's albums show.
  app.TypeUin(L"10031");
  app.Click(L"btn_get");
  EXPECT_TRUE(app.Window()->FetchInProgress());
  EXPECT_EQ(app.Control(L"btn_get")->GetText(), L"获取中…");
  app.Click(L"btn_down");  // no run starts over a list that is about to change
  EXPECT_TRUE(app.RunIsOver());
  EXPECT_TRUE(app.Notices().empty());
  app.ListAlbums(10032);
  EXPECT_EQ(app.Control(L"btn_get")->GetText(), L"获取相册");
  ASSERT_EQ(app.RowCount(), 2);
  EXPECT_EQ(app.Row(0)->m_lblName->GetText(), L"Second user");
  app.Backend()->RunUntilIdle();
  EXPECT_EQ(app.RowCount(), 2);

  // A server that stalls holds neither the window nor its end.
  app.ResetLongestBlock();
  app.TypeUin(L"10033");
  app.Click(L"btn_get");
  EXPECT_TRUE(app.Window()->FetchInProgress());
  const HWND hwnd = app.Window()->GetHWND();
  app.Click(L"closebtn");
  app.Pump();
  EXPECT_EQ(WindowFromHandle(hwnd), nullptr);
  EXPECT_LT(app.LongestBlock(), kMostTheWindowMayWait);
}

}  // namespace
