#pragma once

// The download worker's test fixture: a sample service, a download root in a temporary folder,
// and helpers to start albums and collect what the worker posts.

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>

#include "catalogue/app_messages.h"
#include "catalogue/app_state.h"
#include "download/album_thread.h"
#include "download/download_settings.h"
#include "platform/code_page.h"
#include "platform/posted_messages.h"
#include "platform/url_download.h"
#include "support/sample_service_process.h"
#include "support/temp_dir.h"

struct Photo {
  std::string name;
  std::string address;
};

class AlbumThreadTest : public ::testing::Test {
 protected:
  AlbumThreadTest() : m_service(m_fixtures.Path()) {}

  void SetUp() override {
    SetProcessCodePage("UTF-8");
    TakePostedMessages();
    m_window = CreateWindowHandle();
    m_worker.SetNotifyWindow(m_window);
    std::filesystem::create_directories(m_dir.Path() / "root");
    auto settings = std::make_unique<DownloadSettings>(m_dir.Path() / "config.ini",
                                                       std::make_shared<HomeDriveProvider>());
    settings->WritePhotoDir(Root());
    DownloadSettings::SetInstance(std::move(settings));
  }
  void TearDown() override {
    m_worker.Stop();
    m_worker.Join();
    DestroyWindowHandle(m_window);
    DownloadSettings::Destroy();
    SetProcessCodePage("");
  }

  std::wstring Root() const { return Utf8ToWide((m_dir.Path() / "root").string()); }
  std::filesystem::path AlbumFolder(const std::string& name) const {
    return m_dir.Path() / "root" / "10001" / name;
  }
  std::string Image(size_t size, const std::string& name, const std::string& fault = "") const {
    std::string url =
        "http://" + m_service.Host("img") + "/img/" + std::to_string(size) + "/" + name + ".jpg";
    return fault.empty() ? url : url + "?fault=" + fault;
  }

  static AlbumJob Job(const std::filesystem::path& list, const std::string& folder,
                      uint8_t fromWebCache, int32_t row = 0, uint32_t run = 1) {
    AlbumJob job;
    job.listFile = list.empty() ? std::string() : WideToAnsi(Utf8ToWide(list.string()));
    job.albumId = folder;
    job.albumName = folder;
    job.fromWebCache = fromWebCache;
    job.row = row;
    job.uin = 10001;
    job.runId = run;
    return job;
  }
  std::filesystem::path WriteXmlList(const std::vector<Photo>& photos,
                                     const std::string& file = "list.xml") {
    std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><data>";
    for (const Photo& photo : photos) {
      doc += "<pic><name>" + photo.name + "</name><origin_url>" + photo.address +
             "</origin_url></pic>";
    }
    return m_dir.Write(file, doc + "</data>");
  }
  std::filesystem::path WritePage(const std::vector<Photo>& photos) {
    std::string page = "var data = {\"pic\": [";
    for (const Photo& photo : photos) {
      page += "{\"name\": \"" + photo.name + "\", \"origin_url\": \"" + photo.address + "\",},";
    }
    return m_dir.Write("page.html", page + "]};\r\n");
  }

  // Requests the service has had whose path starts with `prefix` since the last call.
  int Requests(const std::string& prefix = "/img/") { return m_service.TakeRequestCount(prefix); }

  // The bytes of the service's image at `address`.
  std::string ImageBytesAt(const std::string& address) {
    const std::filesystem::path file = m_dir.Path() / "image";
    EXPECT_EQ(DownloadUrlToFile(Utf8ToWide(address), Utf8ToWide(file.string())), S_OK);
    return ReadFileBytes(file);
  }
  // Runs a job to its end; the messages it posted.
  std::vector<PostedMessage> RunJob(const AlbumJob& job) {
    m_worker.Join();
    EXPECT_TRUE(m_worker.StartAlbum(job));
    std::vector<PostedMessage> messages = CollectUntil(WM_ALBUM_DONE);
    m_worker.Join();
    return messages;
  }
  // A job of album `id` named `name` over a photo-list document of `photos`.
  AlbumJob ListedJob(const std::string& id, const std::string& name,
                     const std::vector<Photo>& photos) {
    AlbumJob job = Job(WriteXmlList(photos), name, 0);
    job.albumId = id;
    return job;
  }

  void StartListed(const std::string& folder, const std::vector<Photo>& photos, int32_t row = 0,
                   uint32_t run = 1) {
    EXPECT_TRUE(m_worker.StartAlbum(Job(WriteXmlList(photos), folder, 0, row, run)));
  }
  void StartCached(const std::string& folder, const std::vector<Photo>& photos) {
    EXPECT_TRUE(m_worker.StartAlbum(Job(WritePage(photos), folder, 1)));
  }
  static void ExpectAlbumDone(const PostedMessage& message, AlbumOutcome outcome, int failed = 0) {
    EXPECT_EQ(message.message, WM_ALBUM_DONE);
    EXPECT_EQ(OutcomeOfParam(message.lParam), outcome);
    EXPECT_EQ(FailedOfParam(message.lParam), failed);
  }

  // The messages posted to the window until `last` arrives (or the time is up).
  std::vector<PostedMessage> CollectUntil(UINT last) {
    std::vector<PostedMessage> collected;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      WaitForPostedMessage(std::chrono::milliseconds(200));
      for (const PostedMessage& message : TakePostedMessages()) {
        if (message.hwnd == m_window) {
          collected.push_back(message);
          if (message.message == last) {
            return collected;
          }
        }
      }
    }
    ADD_FAILURE() << "no message " << last;
    return collected;
  }
  std::vector<PostedMessage> CollectRest() {
    std::vector<PostedMessage> rest;
    for (const PostedMessage& message : TakePostedMessages()) {
      if (message.hwnd == m_window) {
        rest.push_back(message);
      }
    }
    return rest;
  }
  // The names that do not begin with '.' (the archive and the lock file at the root do).
  static std::set<std::string> Shown(std::set<std::string> names) {
    std::erase_if(names, [](const std::string& name) { return name.starts_with("."); });
    return names;
  }
  static std::set<std::string> Files(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  TempDir m_dir;
  TempDir m_fixtures;
  SampleServiceProcess m_service;
  HWND m_window = nullptr;
  CAlbumThread m_worker;
};
