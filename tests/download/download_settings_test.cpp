#include "download/download_settings.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/code_page.h"
#include "support/temp_dir.h"

namespace {

std::wstring Wide(const std::filesystem::path& path) {
  return Utf8ToWide(path.string());
}

// Drives as a test lists them: root, fixed or not, free-space query answering or not.
class FakeDrives : public DriveProvider {
 public:
  struct Drive {
    std::wstring root;
    bool fixed;
    bool answers;
  };
  explicit FakeDrives(std::vector<Drive> drives) : m_drives(std::move(drives)) {}
  std::vector<std::wstring> DriveRoots() const override {
    std::vector<std::wstring> roots;
    for (const Drive& drive : m_drives) {
      roots.push_back(drive.root);
    }
    return roots;
  }
  bool IsFixedDrive(const std::wstring& root) const override { return Find(root).fixed; }
  bool QueryFreeSpace(const std::wstring& root) const override { return Find(root).answers; }

 private:
  const Drive& Find(const std::wstring& root) const {
    for (const Drive& drive : m_drives) {
      if (drive.root == root) {
        return drive;
      }
    }
    throw std::logic_error("unknown drive");
  }
  std::vector<Drive> m_drives;
};

class ScriptedPicker : public FolderPicker {
 public:
  std::optional<std::wstring> answer;
  std::wstring title;
  std::optional<std::wstring> PickFolder(HWND, const std::wstring& shownTitle) override {
    title = shownTitle;
    return answer;
  }
};

class DownloadSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* drive : {"C", "D", "E"}) {
      std::filesystem::create_directories(m_dir.Path() / drive);
    }
  }
  std::wstring Drive(const char* name) { return Wide(m_dir.Path() / name) + L"/"; }
  DownloadSettings Make(std::vector<FakeDrives::Drive> drives) {
    return DownloadSettings(m_dir.Path() / "config.ini",
                            std::make_shared<FakeDrives>(std::move(drives)));
  }
  TempDir m_dir;
};

TEST_F(DownloadSettingsTest, DefaultRootGoesOnTheLastFixedDriveAndIsStored) {
  DownloadSettings settings = Make({{Drive("C"), true, true}, {Drive("D"), true, true}});
  EXPECT_EQ(settings.ReadPhotoDir(), L"");
  const std::wstring root = settings.GetDownloadRoot();
  EXPECT_EQ(root, Drive("D") + L"ZeDiRazuz");
  EXPECT_TRUE(std::filesystem::is_directory(m_dir.Path() / "D" / "ZeDiRazuz"));
  EXPECT_EQ(settings.ReadPhotoDir(), root);
  const std::string ini = ReadFileBytes(m_dir.Path() / "config.ini");
  EXPECT_NE(ini.find("[info]"), std::string::npos);
  EXPECT_NE(ini.find("photo_dir=" + WideToUtf8(root)), std::string::npos);
}

TEST_F(DownloadSettingsTest, AnExistingStoredFolderIsKeptAndTheFileLeftAlone) {
  m_dir.Write("config.ini", "; mine\n[info]\nphoto_dir=" + (m_dir.Path() / "E").string() + "\n");
  const auto before = std::filesystem::last_write_time(m_dir.Path() / "config.ini");
  DownloadSettings settings = Make({{Drive("C"), true, true}});
  EXPECT_EQ(settings.GetDownloadRoot(), Wide(m_dir.Path() / "E"));
  EXPECT_EQ(std::filesystem::last_write_time(m_dir.Path() / "config.ini"), before);
}

TEST_F(DownloadSettingsTest, AVanishedFolderIsReplacedAndOtherContentKept) {
  m_dir.Write("config.ini",
              "# comment\n; old style\n[other]\nkey=value\n[info]\nphoto_dir=/no/such/folder\n"
              "extra=1\n");
  DownloadSettings settings = Make({{Drive("C"), true, true}});
  EXPECT_EQ(settings.GetDownloadRoot(), Drive("C") + L"ZeDiRazuz");
  const std::string ini = ReadFileBytes(m_dir.Path() / "config.ini");
  EXPECT_NE(ini.find("# comment"), std::string::npos);
  EXPECT_NE(ini.find("old style"), std::string::npos);
  EXPECT_NE(ini.find("key=value"), std::string::npos);
  EXPECT_NE(ini.find("extra=1"), std::string::npos);
  EXPECT_EQ(ini.find("/no/such/folder"), std::string::npos);
}

TEST_F(DownloadSettingsTest, OddLinesAndLetterCaseDoNotLoseTheStoredFolder) {
  const std::string ini =
      "not a setting\n[Info]\nPhoto_Dir=" + (m_dir.Path() / "E").string() + "\n[other]\nx=1\n";
  m_dir.Write("config.ini", ini);
  const auto before = std::filesystem::last_write_time(m_dir.Path() / "config.ini");
  DownloadSettings settings = Make({{Drive("C"), true, true}});
  EXPECT_EQ(settings.GetDownloadRoot(), Wide(m_dir.Path() / "E"));
  EXPECT_EQ(ReadFileBytes(m_dir.Path() / "config.ini"), ini);
  EXPECT_EQ(std::filesystem::last_write_time(m_dir.Path() / "config.ini"), before);
}

TEST_F(DownloadSettingsTest, AnUnreadableFileGivesTheDefaultRootAndIsLeftAlone) {
  std::filesystem::create_directory(m_dir.Path() / "config.ini");  // unreadable, even for root
  DownloadSettings settings = Make({{Drive("C"), true, true}});
  EXPECT_EQ(settings.GetDownloadRoot(), Drive("C") + L"ZeDiRazuz");
  EXPECT_TRUE(std::filesystem::is_directory(m_dir.Path() / "C" / "ZeDiRazuz"));
  EXPECT_TRUE(std::filesystem::is_directory(m_dir.Path() / "config.ini"));
  EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path() / "config.ini"));
}

TEST_F(DownloadSettingsTest, DrivesThatDoNotAnswerOrAreNotFixedAreNeverChosen) {
  DownloadSettings settings =
      Make({{Drive("C"), true, true}, {Drive("D"), false, true}, {Drive("E"), true, false}});
  std::wstring root;
  EXPECT_TRUE(settings.FindDefaultDrive(&root));
  EXPECT_EQ(root, Drive("C"));

  DownloadSettings none = Make({{Drive("E"), true, false}});
  EXPECT_FALSE(none.FindDefaultDrive(&root));
  EXPECT_EQ(root, L"");
  EXPECT_EQ(none.GetDownloadRoot(), L"");  // nothing stored, nothing to choose
  EXPECT_FALSE(std::filesystem::exists(m_dir.Path() / "config.ini"));
  DownloadSettings empty = Make({});
  empty.WritePhotoDir(L"/gone/away");
  EXPECT_EQ(empty.GetDownloadRoot(), L"/gone/away");
}

TEST_F(DownloadSettingsTest, FolderPickerAnswersAreTrimmedOfOneTrailingSeparator) {
  DownloadSettings settings = Make({});
  EXPECT_EQ(settings.BrowseForFolder(nullptr), L"");  // no picker: as if cancelled
  auto picker = std::make_shared<ScriptedPicker>();
  DownloadSettings::SetFolderPicker(picker);
  EXPECT_EQ(settings.BrowseForFolder(nullptr), L"");
  EXPECT_EQ(picker->title, L"请选择文件夹");
  picker->answer = L"/home/u/pics/";
  EXPECT_EQ(settings.BrowseForFolder(nullptr), L"/home/u/pics");
  picker->answer = L"/home/u/pics";
  EXPECT_EQ(settings.BrowseForFolder(nullptr), L"/home/u/pics");
  picker->answer = L"/";
  EXPECT_EQ(settings.BrowseForFolder(nullptr), L"/");
  DownloadSettings::SetFolderPicker(nullptr);
}

}  // namespace
