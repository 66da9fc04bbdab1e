#include <gtest/gtest.h>

#include "app/app_harness.h"
#include "catalogue/app_state.h"
#include "skin/notices.h"
#include "skin/scrambled_text.h"

namespace {

std::wstring Notice(const wchar_t* scrambled) {
  return UnscrambleText(scrambled, kScrambleSeed);
}

TEST(AppTest, MainWindowShowsItsControls) {
  AppHarness app;
  for (const wchar_t* name :
       {L"minbtn", L"closebtn", L"btn_get", L"btn_down", L"btn_brow", L"btn_album_ad",
        L"btn_kel_ad", L"opt_select_all", L"opt_select_pwd_album", L"edit_album_dir", L"edit_zu",
        L"album_list"}) {
    EXPECT_NE(app.Control(name), nullptr) << name;
  }
  EXPECT_EQ(app.Window()->m_btnDown->GetText(), L"下载相册");
  EXPECT_NE(app.Window()->m_loginWnd, nullptr);
  const char* artifacts = std::getenv("ZP_TEST_ARTIFACTS");
  app.Backend()->SavePng(
      app.Window()->GetHWND(),
      std::string(artifacts != nullptr ? artifacts : "/tmp") + "/main-window.png");
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
                        {L"99999999999", 2147483647}};
  for (const Case& c : cases) {
    state->m_uin = 77;
    app.Backend()->messageBoxes.clear();
    app.TypeUin(c.typed);
    app.Click(L"btn_get");
    if (c.uin == 0) {
      EXPECT_EQ(state->m_uin, 77) << c.typed;
      continue;
    }
    EXPECT_EQ(state->m_uin, c.uin) << c.typed;
    EXPECT_EQ(app.Window()->m_albumList->GetCount(), 1) << c.typed;
  }
  EXPECT_TRUE(app.Backend()->messageBoxes.empty());
}

TEST(AppTest, RunWithNothingTickedVisitsEveryRowAndEndsWithOneNotice) {
  AppHarness app;
  app.Click(L"btn_down");  // no rows: the empty-list notice, no run
  EXPECT_EQ(app.Notices(), std::vector<std::wstring>{Notice(kNoticeEmptyList)});
  EXPECT_EQ(app.Window()->m_btnDown->GetText(), L"下载相册");

  app.ServeUser(10001, {{"a1", "One", 1}, {"a2", "Two", 1}, {"a3", "Three", 1}});
  app.TypeUin(L"10001");
  app.Click(L"btn_get");
  ASSERT_EQ(app.Window()->m_albumList->GetCount(), 3);
  app.Backend()->messageBoxes.clear();
  app.Click(L"btn_down");
  ASSERT_TRUE(app.RunUntil([&] { return app.RunIsOver(); }));
  EXPECT_EQ(app.Notices(), std::vector<std::wstring>{Notice(kNoticeRunFinished)});
  EXPECT_EQ(AppState::Instance()->m_currentAlbum, 3);
  EXPECT_FALSE(std::filesystem::exists(app.Root() / "10001" / "One"));
}

TEST(AppTest, TickedNormalAlbumsDownloadWithProgressAndFailedListsAreSkipped) {
  AppHarness app;
  app.ServeUser(10001, {{"a1", "Trip", 3},
                        {"a2", "Broken", 2, false, "status500"},
                        {"a3", "Home", 2},
                        {"a4", "Skipped", 2}});
  app.TypeUin(L"10001");
  app.Click(L"btn_get");
  CZuPictrove* window = app.Window();
  ASSERT_EQ(window->m_albumList->GetCount(), 4);
  auto row = [&](int i) {
    return static_cast<CAlbumListItemUI*>(window->m_albumList->GetItemAt(i));
  };
  EXPECT_EQ(row(0)->m_lblIndex->GetText(), L"1");
  EXPECT_EQ(row(0)->m_lblName->GetText(), L"Trip");
  EXPECT_EQ(row(0)->m_lblType->GetText(), L"普通");
  EXPECT_EQ(row(0)->m_lblCount->GetText(), L"3");
  EXPECT_EQ(row(0)->GetUserData(), L"a1");
  for (int i : {0, 1, 2}) {
    app.Click(row(i)->m_optSelect);
  }
  app.Click(L"btn_down");
  ASSERT_TRUE(app.RunUntil([&] { return app.RunIsOver(); }));
  EXPECT_EQ(row(0)->m_lblStatus->GetText(), L"3");
  EXPECT_EQ(row(1)->m_lblStatus->GetText(), L"-");  // its photo list failed: skipped
  EXPECT_EQ(row(2)->m_lblStatus->GetText(), L"2");
  EXPECT_EQ(row(3)->m_lblStatus->GetText(), L"-");
  EXPECT_TRUE(std::filesystem::exists(app.AlbumFolder(10001, "Trip") / "photo2.jpg"));
  EXPECT_EQ(std::filesystem::file_size(app.AlbumFolder(10001, "Home") / "photo1.jpg"), 1000u);
  EXPECT_FALSE(std::filesystem::exists(app.AlbumFolder(10001, "Broken")));
  EXPECT_EQ(app.Notices(), std::vector<std::wstring>{Notice(kNoticeRunFinished)});
  EXPECT_TRUE(std::filesystem::is_empty(app.m_dir.Path() / "Res"));  // lists read and deleted
}

}  // namespace
