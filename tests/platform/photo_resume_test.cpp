#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/url_download.h"
#include "support/sample_service_process.h"
#include "support/temp_dir.h"

namespace {

constexpr size_t kLarge = 6u << 20;  // over the resumable size

class PhotoResumeTest : public ::testing::Test {
 protected:
  PhotoResumeTest() : m_service(m_fixtures.Path()) {}

  std::wstring Image(size_t size, const std::string& name, const std::string& query = "") const {
    const std::string path = "/img/" + std::to_string(size) + "/" + name + ".jpg";
    return m_service.Url("img", query.empty() ? path : path + "?" + query);
  }
  std::wstring Target(const std::string& name) const {
    const std::string path = (m_files.Path() / name).string();
    return std::wstring(path.begin(), path.end());
  }
  // The bytes the photo holds, fetched whole without any fault.
  std::string Expected(size_t size, const std::string& name) {
    EXPECT_EQ(DownloadUrlToFile(Image(size, name), Target("expected")), S_OK);
    return ReadFileBytes(m_files.Path() / "expected");
  }
  // Requests that carried a Range header since the last call.
  int RangedRequests() { return m_service.TakeRequestCount("ranged:/img/"); }

  TransferResult Fetch(const PhotoTransferItem& item, const TransferHooks& hooks,
                       const std::atomic<uint8_t>* running = nullptr) {
    TransferResult outcome;
    DownloadPhotos({item}, 1, hooks, running,
                   [&outcome](size_t, const TransferResult& result) { outcome = result; });
    return outcome;
  }
  static TransferHooks Resumable(int* started = nullptr) {
    TransferHooks hooks;
    hooks.resumableAbove = kResumableAboveBytes;
    hooks.partStarted = [started](size_t, const std::filesystem::path&, const std::string&,
                                  uint64_t length) {
      EXPECT_EQ(length, kLarge);
      if (started != nullptr) {
        ++*started;
      }
    };
    return hooks;
  }
  std::vector<std::string> Hidden() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_files.Path())) {
      if (entry.path().filename().string().starts_with(".")) {
        names.push_back(entry.path().filename().string());
      }
    }
    return names;
  }

  TempDir m_fixtures;
  TempDir m_files;
  SampleServiceProcess m_service;
};

TEST_F(PhotoResumeTest, ABrokenLargePhotoResumesWhereItBrokeInTheSameRun) {
  const std::string expected = Expected(kLarge, "big");
  RangedRequests();
  int started = 0;
  const TransferResult result = Fetch(
      {Image(kLarge, "big", "fault=breakonce"), Target("big.jpg"), {}, {}}, Resumable(&started));
  ASSERT_EQ(result.result, S_OK);
  EXPECT_EQ(result.bytes, kLarge);
  EXPECT_EQ(ReadFileBytes(m_files.Path() / "big.jpg"), expected);
  EXPECT_EQ(RangedRequests(), 1);  // the second try asked for the rest only
  EXPECT_EQ(started, 1);
  EXPECT_FALSE(result.etag.empty());
  EXPECT_FALSE(result.lastModified.empty());
  EXPECT_GT(result.fileTime, 0);
  EXPECT_TRUE(Hidden().empty());

  // A small photo that breaks keeps nothing and is not resumed.
  const TransferResult small =
      Fetch({Image(4000, "small", "fault=reset"), Target("small.jpg"), {}, {}}, Resumable());
  EXPECT_NE(small.result, S_OK);
  EXPECT_FALSE(small.partKept);
  EXPECT_TRUE(Hidden().empty());
}

TEST_F(PhotoResumeTest, AStoppedLargePhotoKeepsItsPartAndALaterCallFinishesIt) {
  const std::string expected = Expected(kLarge, "slow");
  std::atomic<uint8_t> running{1};
  std::filesystem::path part;
  TransferHooks hooks = Resumable();
  hooks.partStarted = [&](size_t, const std::filesystem::path& file, const std::string&, uint64_t) {
    part = file;
  };
  // The photo comes slowly; the stop comes once some of it is on disk.
  std::thread stopper([&] {
    std::error_code ec;
    while (part.empty() || std::filesystem::file_size(part, ec) == 0 || ec) {
      std::this_thread::yield();
    }
    running = 0;
  });
  const TransferResult stopped =
      Fetch({Image(kLarge, "slow", "fault=slow"), Target("slow.jpg"), {}, {}}, hooks, &running);
  stopper.join();
  ASSERT_NE(stopped.result, S_OK);
  ASSERT_TRUE(stopped.partKept);
  EXPECT_EQ(stopped.part, part);
  const uintmax_t had = std::filesystem::file_size(part);
  EXPECT_GT(had, 0u);
  EXPECT_LT(had, kLarge);
  EXPECT_FALSE(std::filesystem::exists(m_files.Path() / "slow.jpg"));

  // An error answer to the resumed request leaves the part as it was.
  RangedRequests();
  const TransferResult refused = Fetch(
      {Image(kLarge, "slow", "fault=status500"), Target("slow.jpg"), part, "\"x\""}, Resumable());
  EXPECT_NE(refused.result, S_OK);
  EXPECT_TRUE(refused.partKept);
  EXPECT_EQ(std::filesystem::file_size(part), had);

  // With the validator of the photo's answer the rest comes as 206 and is appended. (The slow
  // answer's own validator names its slow address; the bytes of both are the same.)
  const std::string validator =
      Fetch({Image(kLarge, "slow"), Target("plain.jpg"), {}, {}}, Resumable()).etag;
  ASSERT_FALSE(validator.empty());
  int started = 0;
  RangedRequests();
  const TransferResult resumed =
      Fetch({Image(kLarge, "slow"), Target("slow.jpg"), part, validator}, Resumable(&started));
  ASSERT_EQ(resumed.result, S_OK);
  EXPECT_EQ(ReadFileBytes(m_files.Path() / "slow.jpg"), expected);
  EXPECT_EQ(RangedRequests(), 1);
  EXPECT_EQ(started, 0);  // the same answer goes on: nothing new to record
  EXPECT_TRUE(Hidden().empty());
}

TEST_F(PhotoResumeTest, AChangedPhotoOrARefusedRangeBeginsThePartAgain) {
  const std::string expected = Expected(kLarge, "c");
  // A part of the right length whose validator no longer matches: the whole photo comes as 200
  // and replaces what the part held.
  const std::filesystem::path stale = m_files.Path() / ".zp-0000000000000001.part";
  m_files.Write(stale.filename().string(), std::string(1000, 'x'));
  int started = 0;
  const TransferResult changed =
      Fetch({Image(kLarge, "c", "fault=changing"), Target("c.jpg"), stale, "\"old\""},
            Resumable(&started));
  ASSERT_EQ(changed.result, S_OK);
  EXPECT_EQ(ReadFileBytes(m_files.Path() / "c.jpg"), expected);
  EXPECT_EQ(started, 1);  // a new answer: its validator is handed out

  // A part as long as the photo: the range is refused (416), the part goes and the photo is
  // fetched again from its start.
  const std::filesystem::path full = m_files.Path() / ".zp-0000000000000002.part";
  m_files.Write(full.filename().string(), std::string(kLarge, 'y'));
  const TransferResult refused =
      Fetch({Image(kLarge, "c"), Target("d.jpg"), full, "*"}, Resumable());
  ASSERT_EQ(refused.result, S_OK);
  EXPECT_EQ(ReadFileBytes(m_files.Path() / "d.jpg"), expected);
  EXPECT_TRUE(Hidden().empty());
}

TEST_F(PhotoResumeTest, AHandedOverPhotoStaysInItsPartFileForTheCaller) {
  TransferHooks hooks;
  hooks.handOver = true;
  const TransferResult result = Fetch({Image(3000, "h"), Target("h.jpg"), {}, {}}, hooks);
  ASSERT_EQ(result.result, S_OK);
  EXPECT_FALSE(std::filesystem::exists(m_files.Path() / "h.jpg"));
  ASSERT_TRUE(std::filesystem::exists(result.part));
  EXPECT_EQ(std::filesystem::file_size(result.part), 3000u);
  EXPECT_EQ(result.part.parent_path(), m_files.Path());
}

}  // namespace
