#pragma once

// The real windows of the program on the headless back end, over the sample service: the test
// writes the service's answers, drives the main window's controls and waits for the worker's
// messages.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/sample_service_process.h"
#include "support/temp_dir.h"
#include "ui/main_window.h"
#include "uilib/headless/headless_backend.h"

struct FixtureAlbum {
  FixtureAlbum(std::string albumId, std::string albumName, int count, bool hasPassword = false,
               std::string listFaultWord = "", size_t bytes = 1000, std::string photoFaultWord = "")
      : id(std::move(albumId)),
        name(std::move(albumName)),
        photos(count),
        password(hasPassword),
        listFault(std::move(listFaultWord)),
        photoBytes(bytes),
        photoFault(std::move(photoFaultWord)) {}
  std::string id;
  std::string name;
  int photos = 0;  // photos in its photo list
  bool password = false;
  std::string listFault;     // a fault of its photo-list answer ("" for none, "missing")
  size_t photoBytes = 1000;  // each photo's size
  std::string photoFault;    // a fault of every photo ("slow", ...)
};

class AppHarness {
 public:
  AppHarness();
  ~AppHarness();

  // Writes the album list of `uin` (on album-list server 1) and the photo lists of its albums.
  void ServeUser(int32_t uin, const std::vector<FixtureAlbum>& albums);
  // The answer of a password album's page, as the browser would leave it in the web cache.
  void CacheAlbumPage(int32_t uin, const FixtureAlbum& album);

  CZuPictrove* Window() const { return m_window; }
  HeadlessBackend* Backend() const { return m_backend; }
  CControlUI* Control(const wchar_t* name) const;
  void Click(const wchar_t* name);
  void Click(CControlUI* control);
  void TypeUin(const std::wstring& text);
  // Delivers posted messages until `done` holds (waiting for the worker's messages as they come).
  bool RunUntil(const std::function<bool()>& done, int seconds = 30);
  bool RunIsOver() const;
  CAlbumListItemUI* Row(int index) const;
  // The login window's scripted browser.
  HeadlessWebBrowser* Browser() const;
  bool LoginVisible() const;
  // Files in `folder` whose name starts with '.' (unfinished downloads).
  static std::vector<std::string> HiddenFiles(const std::filesystem::path& folder);
  std::vector<std::wstring> Notices() const;
  std::filesystem::path AlbumFolder(int32_t uin, const std::string& name) const;
  const std::filesystem::path& Root() const { return m_root; }
  std::string ImageUrl(size_t bytes, const std::string& name, const std::string& fault) const;

  TempDir m_dir;
  TempDir m_fixtures;
  std::unique_ptr<SampleServiceProcess> m_service;

 private:
  HeadlessBackend* m_backend = nullptr;
  CZuPictrove* m_window = nullptr;
  HWND m_hwnd = nullptr;
  std::filesystem::path m_root;
};
