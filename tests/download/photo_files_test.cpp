#include "download/photo_files.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/code_page.h"
#include "support/temp_dir.h"

namespace {

std::wstring Wide(const std::filesystem::path& path) {
  return Utf8ToWide(path.string());
}

// Makes the file MakePhotoPath chose, as a download would.
std::string Take(const std::wstring& folder, const std::wstring& name, PhotoPathMemo* memo) {
  const std::wstring path = MakePhotoPath(folder, name, memo);
  std::ofstream(WideToUtf8(path)) << "jpg";
  return std::filesystem::path(WideToUtf8(path)).filename().string();
}

TEST(PhotoFilesTest, CleanFileNameRemovesTheTenCharactersOnly) {
  EXPECT_EQ(CleanFileName(L"p.q/r:s"), L"pqrs");
  EXPECT_EQ(CleanFileName(L"a\\b*c?d<e>f|g\"h"), L"abcdefgh");
  EXPECT_EQ(CleanFileName(L" a\tb 相册 "), L" a\tb 相册 ");
  EXPECT_EQ(CleanFileName(L"../x"), L"x");
  EXPECT_EQ(CleanFileName(L"/etc/passwd"), L"etcpasswd");
}

TEST(PhotoFilesTest, MakePhotoPathNumbersTakenNames) {
  TempDir dir;
  const std::wstring folder = Wide(dir.Path());
  for (PhotoPathMemo* memo : {static_cast<PhotoPathMemo*>(nullptr), new PhotoPathMemo}) {
    std::filesystem::remove_all(dir.Path() / "x");
    std::filesystem::create_directory(dir.Path() / "x");
    const std::wstring x = folder + L"/x";
    EXPECT_EQ(Take(x, L"a", memo), "a.jpg");
    EXPECT_EQ(Take(x, L"a", memo), "a_1.jpg");
    EXPECT_EQ(Take(x, L"a", memo), "a_2.jpg");
    EXPECT_EQ(Take(x, L"b_1", memo), "b_1.jpg");
    EXPECT_EQ(Take(x, L"b", memo), "b.jpg");
    EXPECT_EQ(Take(x, L"b", memo), "b_2.jpg");
    EXPECT_EQ(Take(x, L"", memo), ".jpg");
    EXPECT_EQ(Take(x, L"", memo), "_1.jpg");
    std::filesystem::create_directory(dir.Path() / "x" / "c.jpg");  // a folder takes a name too
    EXPECT_EQ(Take(x, L"c", memo), "c_1.jpg");
    delete memo;
  }
}

TEST(PhotoFilesTest, MemoKeepsManyPhotosOfOneNameInOrder) {
  TempDir dir;
  const std::wstring folder = Wide(dir.Path());
  PhotoPathMemo memo;
  EXPECT_EQ(Take(folder, L"p", &memo), "p.jpg");
  for (int i = 1; i <= 300; ++i) {
    ASSERT_EQ(Take(folder, L"p", &memo), "p_" + std::to_string(i) + ".jpg");
  }
  // The memo still checks: a file that appeared meanwhile is passed over.
  std::ofstream((dir.Path() / "p_301.jpg").string()) << "x";
  EXPECT_EQ(Take(folder, L"p", &memo), "p_302.jpg");
}

TEST(PhotoFilesTest, LongNamesAreCutToFitTheFileSystem) {
  TempDir dir;
  const std::wstring folder = Wide(dir.Path());
  const std::wstring longName(300, L'相');  // 900 bytes in UTF-8
  const std::string first = Take(folder, longName, nullptr);
  const std::string second = Take(folder, longName, nullptr);
  EXPECT_EQ(first.size(), 83 * 3 + 4u);  // 83 whole characters and ".jpg" fit 255 bytes
  EXPECT_LE(second.size(), 255u);
  EXPECT_EQ(second.substr(second.size() - 6), "_1.jpg");
  EXPECT_EQ(Utf8ToWide(second).substr(0, 82), longName.substr(0, 82));
  const std::wstring fits(251, L'a');
  EXPECT_EQ(Take(folder, fits, nullptr), std::string(251, 'a') + ".jpg");  // untouched
}

TEST(PhotoFilesTest, MakeAlbumFolderKeepsWhatIsThere) {
  TempDir dir;
  const std::wstring root = Wide(dir.Path());
  const std::filesystem::path user = dir.Path() / "10001";
  std::filesystem::create_directories(user / "trip" / "sub");
  dir.Write("10001/trip/a.jpg", "a");
  dir.Write("10001/trip/sub/b.jpg", "b");
  dir.Write("10001/note.txt", "n");

  EXPECT_EQ(MakeAlbumFolder(root, 10001, L"trip"), root + L"/10001/trip");
  EXPECT_TRUE(std::filesystem::exists(user / "trip" / "a.jpg"));
  EXPECT_TRUE(std::filesystem::exists(user / "trip" / "sub" / "b.jpg"));

  // An album whose cleaned name is empty gets a folder of its own, never the user folder.
  EXPECT_EQ(MakeAlbumFolder(root, 10001, L""),
            root + L"/10001/" + std::wstring(kUnnamedAlbumFolder));
  EXPECT_TRUE(std::filesystem::exists(user / "note.txt"));

  // A new user folder is made.
  EXPECT_EQ(MakeAlbumFolder(root, 20002, L"x"), root + L"/20002/x");
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "20002" / "x"));
}

TEST(PhotoFilesTest, NumberedFolderNamesFitAFileName) {
  EXPECT_EQ(NumberedFolderName(L"trip", 0), L"trip");
  EXPECT_EQ(NumberedFolderName(L"trip", 2), L"trip_2");
  EXPECT_EQ(NumberedFolderName(L"", 0), std::wstring(kUnnamedAlbumFolder));
  const std::wstring longName(300, L'\u6625');  // three bytes each in UTF-8
  EXPECT_LE(WideToUtf8(NumberedFolderName(longName, 0)).size(), kFileNameMaxBytes);
  const std::wstring numbered = NumberedFolderName(longName, 12);
  EXPECT_LE(WideToUtf8(numbered).size(), kFileNameMaxBytes);
  EXPECT_TRUE(numbered.ends_with(L"_12"));
}

}  // namespace
