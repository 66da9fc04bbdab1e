#pragma once

// The real windows of the program on the headless back end, over the sample service: the test
// writes the service's answers, drives the main window's controls and waits for the worker's
// messages.

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/service_fixture.h"
#include "support/temp_dir.h"
#include "ui/main_window.h"
#include "uilib/headless/headless_backend.h"

class AppHarness {
 public:
  AppHarness();
  ~AppHarness();

  void ServeUser(int32_t uin, const std::vector<FixtureAlbum>& albums) {
    m_service.ServeUser(uin, albums);
  }
  // The answer of a password album's page, as the browser would leave it in the web cache.
  void CacheAlbumPage(int32_t uin, const FixtureAlbum& album);

  CZuPictrove* Window() const { return m_window; }
  HeadlessBackend* Backend() const { return m_backend; }
  // The main window's paint manager, which holds its controls and their focus.
  CPaintManagerUI& PaintManager() const { return m_window->m_paintManager; }
  CControlUI* Control(const wchar_t* name) const;
  void Click(const wchar_t* name);
  void Click(CControlUI* control);
  void TypeUin(const std::wstring& text);
  // Types `uin`, clicks "btn_get" and waits until the album list has been read.
  void ListAlbums(int32_t uin);
  bool WaitForAlbumList();
  // The rows of the album list.
  int RowCount() const { return m_window->AlbumList()->GetCount(); }
  // Clicks "btn_down" and waits until the run asks the login window for a password album: the
  // window loads the user's page now and shows kLoginTimerMs later.
  bool StartRunUntilLoginOpens();
  // StartRunUntilLoginOpens, then the clock moves on until the login window shows.
  bool StartRunUntilLoginShows();
  // Delivers messages until the run in progress has ended.
  bool WaitForRunEnd() {
    return RunUntil([this] { return RunIsOver(); });
  }
  // The number of the window's latest run.
  uint32_t RunNumber() const { return m_window->RunNumber(); }
  // Waits without bound until the worker's thread has ended.
  void JoinWorker() { m_window->Worker().Join(); }
  // Waits for the worker's thread as the window does when the program ends: a bounded time.
  void WaitForWorker() { m_window->Worker().Wait(); }
  // Saves the main window as `name` in the test artifacts folder.
  void Screenshot(const std::string& name) const;
  // The program ends (ShutDownMainWindow when the window is still there) and starts again over the
  // same service and folders.
  void Reopen();
  bool WindowAlive() const;
  // Delivers what is posted now, and what that posts, timing each round.
  void Pump();
  // Delivers posted messages until `done` holds (waiting for the worker's messages as they come).
  bool RunUntil(const std::function<bool()>& done, int seconds = 30);
  bool RunIsOver() const;
  // The longest time the UI thread spent in one click or one round of posted messages.
  std::chrono::milliseconds LongestBlock() const { return m_longestBlock; }
  void ResetLongestBlock() { m_longestBlock = {}; }
  // Every photo file of the album folder, by name, with its size (temporary files included).
  std::map<std::string, uintmax_t> AlbumFiles(int32_t uin, const std::string& name) const;
  CAlbumListItemUI* Row(int index) const;
  // The login window's scripted browser.
  HeadlessWebBrowser* Browser() const;
  // The login window; null when the main window has none.
  CDuRavuvLogin* Login() const { return m_window->LoginWindow(); }
  // A control of the login window's layout, by name.
  CControlUI* LoginControl(const wchar_t* name) const;
  std::wstring LoginTitle() const { return LoginControl(L"login_lbl_title")->GetText(); }
  // The login window's done button ("login_btn_ok") and its close button.
  void ClickLoginDone() { Click(LoginControl(L"login_btn_ok")); }
  void ClickLoginClose() { Click(LoginControl(L"closebtn")); }
  bool LoginVisible() const;
  // Files in `folder` whose name starts with '.' (unfinished downloads).
  static std::vector<std::string> HiddenFiles(const std::filesystem::path& folder);
  // The hidden files of the album's folder other than the part files that the download archive
  // keeps for resuming a large photo.
  std::vector<std::string> StrayFiles(int32_t uin, const std::string& albumId,
                                      const std::string& name) const;
  std::vector<std::wstring> Notices() const;
  std::filesystem::path AlbumFolder(int32_t uin, const std::string& name) const;
  const std::filesystem::path& Root() const { return m_root; }

  TempDir m_dir;
  ServiceFixture m_service;

 private:
  HeadlessBackend* m_backend = nullptr;
  CZuPictrove* m_window = nullptr;
  HWND m_hwnd = nullptr;
  std::filesystem::path m_root;
  std::chrono::milliseconds m_longestBlock{};

  void OpenWindow();
  // Runs `work` on the UI thread and keeps the longest time it took.
  void Timed(const std::function<void()>& work);
};
