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
  CControlUI* Control(const wchar_t* name) const;
  void Click(const wchar_t* name);
  void Click(CControlUI* control);
  void TypeUin(const std::wstring& text);
  // Types `uin`, clicks "btn_get" and waits until the album list has been read.
  void ListAlbums(int32_t uin);
  bool WaitForAlbumList();
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
  bool LoginVisible() const;
  // Files in `folder` whose name starts with '.' (unfinished downloads).
  static std::vector<std::string> HiddenFiles(const std::filesystem::path& folder);
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
