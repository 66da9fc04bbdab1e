#include "catalogue/service_config.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

TEST(ServiceConfigTest, DefaultsPointAtTheSampleService) {
  SetService(ServiceConfig::Defaults());
  EXPECT_EQ(AlbumListUrl(1, 10001),
            L"http://alist1.photo.localhost:18421/fcgi-bin/fcg_list_album?uin=10001");
  EXPECT_EQ(AlbumListUrl(4, 2147483647),
            L"http://alist4.photo.localhost:18421/fcgi-bin/fcg_list_album?uin=2147483647");
  EXPECT_EQ(AlbumListUrl(0, 1), L"");
  EXPECT_EQ(AlbumListUrl(5, 1), L"");
  EXPECT_EQ(PhotoHostLabel(2), L"p2");
  EXPECT_EQ(PhotoHostLabel(5), L"");
  EXPECT_EQ(PhotoListUrl(L"p2", 10001, L"V1a"),
            L"http://p2.photo.localhost:18421/fcgi-bin/fcg_list_photo?uin=10001&albumid=V1a");
  EXPECT_EQ(UserPhotoPageUrl(10001), L"http://user.photo.localhost:18421/10001/photo/");
  EXPECT_EQ(AlbumPagePattern(10001, L"V1a"), L"cgi_view_album?uin=10001&albumid=V1a");
  EXPECT_EQ(FixedWebPage(1), L"http://www.photo.localhost:18421/static/help.html");
  EXPECT_EQ(FixedWebPage(3), L"");
}

TEST(ServiceConfigTest, FileOverridesValidValuesAndReportsTheRest) {
  TempDir dir;
  const auto ini = dir.Write("service.ini",
                             "# the service\n"
                             "[other]\nalbum_list_host_1 = ignored.example\n"
                             "[service]\n"
                             "album_list_host_1 = list-a.example.com\n"
                             "album_list_host_2 = bad host\n"
                             "album_list_host_3 = list-c.example.com:8080\n"
                             "photo_host_label_1 = pa\n"
                             "photo_host_label_2 = UPPER\n"
                             "photo_host_label_3 = " +
                                 std::string(32, 'a') +
                                 "\n"
                                 "photo_list_domain = photos.example.com\n"
                                 "web_page_1 = file:///etc/passwd\n");
  std::vector<std::string> problems;
  const ServiceConfig config = LoadServiceConfig(ini, &problems);
  EXPECT_EQ(config.albumListHosts[0], L"list-a.example.com");
  EXPECT_EQ(config.albumListHosts[1], ServiceConfig::Defaults().albumListHosts[1]);
  EXPECT_EQ(config.albumListHosts[2], L"list-c.example.com:8080");
  EXPECT_EQ(config.photoHostLabels[0], L"pa");
  EXPECT_EQ(config.photoHostLabels[1], L"p2");
  EXPECT_EQ(config.photoHostLabels[2], L"p3");
  EXPECT_EQ(config.photoListDomain, L"photos.example.com");
  EXPECT_EQ(config.webPages[0], ServiceConfig::Defaults().webPages[0]);
  EXPECT_EQ(problems.size(), 4u);

  problems.clear();
  const ServiceConfig missing = LoadServiceConfig(dir.Path() / "none.ini", &problems);
  EXPECT_EQ(missing.albumListHosts[0], ServiceConfig::Defaults().albumListHosts[0]);
  EXPECT_TRUE(problems.empty());
}

}  // namespace
