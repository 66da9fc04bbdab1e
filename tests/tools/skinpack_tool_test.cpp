#include <gtest/gtest.h>
#include <sys/wait.h>
#include <zip.h>

#include <cstdlib>
#include <map>

#include "skin/skin_archive.h"
#include "skin_encoder.h"
#include "support/temp_dir.h"

namespace {

int RunSkinpack(const std::string& arguments) {
  const int status =
      std::system((std::string(SKINPACK_TOOL) + " " + arguments + " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every entry of a ZIP archive in memory, by name.
std::map<std::string, std::string> ZipEntries(const std::string& bytes) {
  std::map<std::string, std::string> entries;
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
  if (archive == nullptr) {
    zip_source_free(source);
    return entries;
  }
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    zip_stat_t stat;
    zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
    std::string content(stat.size, '\0');
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    zip_fread(file, content.data(), content.size());
    zip_fclose(file);
    entries[stat.name] = content;
  }
  zip_close(archive);
  return entries;
}

TEST(SkinpackToolTest, UnpackGivesBackTheZipThatPackWrote) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "skin" / "img");
  dir.Write("skin/skin.xml", "<Window size=\"600,580\"/>");
  dir.Write("skin/img/bg.png", std::string("\x89PNG\r\n\x1a\n\0\0\0", 11) + std::string(5000, 'x'));
  const std::string out = (dir.Path() / "skin.dll").string();
  ASSERT_EQ(RunSkinpack("pack " + (dir.Path() / "skin").string() + " " + out), 0);
  ASSERT_EQ(RunSkinpack("unpack " + out + " " + (dir.Path() / "back.zip").string()), 0);

  std::string error;
  const std::optional<std::string> zip = ZipFolder(dir.Path() / "skin", &error);
  ASSERT_TRUE(zip) << error;
  const std::string back = ReadFileBytes(dir.Path() / "back.zip");
  EXPECT_EQ(back, *zip);  // packing is reproducible, and the round trip is exact
  const std::string file = ReadFileBytes(out);
  EXPECT_EQ(static_cast<uint8_t>(file[1]), 122);

  const auto entries = ZipEntries(back);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries.at("skin.xml"), "<Window size=\"600,580\"/>");
  EXPECT_EQ(entries.at("img/bg.png").size(), 5011u);
}

TEST(SkinpackToolTest, RefusesWhatItCannotDo) {
  TempDir dir;
  EXPECT_EQ(RunSkinpack(""), 2);
  EXPECT_EQ(RunSkinpack("pack onlyone"), 2);
  EXPECT_NE(RunSkinpack("pack " + (dir.Path() / "missing").string() + " " +
                        (dir.Path() / "out").string()),
            0);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out"));
  dir.Write("short.dll", "too short");
  EXPECT_NE(RunSkinpack("unpack " + (dir.Path() / "short.dll").string() + " " +
                        (dir.Path() / "x.zip").string()),
            0);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "x.zip"));
}

TEST(SkinpackToolTest, TheBuiltSkinFileHoldsTheSkin) {
  const std::string file = ReadFileBytes(SKIN_FILE);
  int32_t length = 0;
  const auto archive = DecodeSkinArchive(file, &length);
  ASSERT_TRUE(archive);
  const auto entries = ZipEntries(std::string(archive->begin(), archive->end()));
  EXPECT_TRUE(entries.count("skin.xml"));
}

}  // namespace
