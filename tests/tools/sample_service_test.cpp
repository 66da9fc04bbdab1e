// The sample service's user page, sign-in and photo answers, over HTTP: the GUI suites lean on
// them, and the demo is only as good as they are.

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include "support/service_fixture.h"

namespace {

class SampleServiceTest : public ::testing::Test {
 protected:
  httplib::Result Get(const std::string& label, const std::string& path,
                      const std::string& cookie = "") {
    httplib::Headers headers{{"Host", m_service.Service().Host(label)}};
    if (!cookie.empty()) {
      headers.emplace("Cookie", cookie);
    }
    return Client().Get(path, headers);
  }
  httplib::Result Post(const std::string& label, const std::string& path,
                       const httplib::Params& form) {
    return Client().Post(path, httplib::Headers{{"Host", m_service.Service().Host(label)}}, form);
  }
  httplib::Client Client() { return httplib::Client("127.0.0.1", m_service.Service().Port()); }

  ServiceFixture m_service;
};

TEST_F(SampleServiceTest, PhotosAreRealPicturesOfTheAskedSize) {
  auto big = Get("img", "/img/60000/a.jpg");
  ASSERT_TRUE(big);
  EXPECT_EQ(big->body.size(), 60000u);
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  ASSERT_TRUE(gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(big->body.data()),
                                      big->body.size(), nullptr));
  gdk_pixbuf_loader_close(loader, nullptr);
  GdkPixbuf* picture = gdk_pixbuf_loader_get_pixbuf(loader);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(picture), 320);
  g_object_unref(loader);

  auto small = Get("img", "/img/1000/a.jpg");  // smaller than a picture: the pattern only
  ASSERT_TRUE(small);
  EXPECT_EQ(small->body.size(), 1000u);
  EXPECT_EQ(small->body.substr(0, 3), "\xFF\xD8\xFF");
}

TEST_F(SampleServiceTest, UserPageListsAlbumsInListOrderAndOpensPasswordAlbumsWithTheirCookie) {
  m_service.ServeUser(30001, {{"z9", "Zebra", 1}, {"a1", "Apple", 2, true}});
  m_service.SetAlbumPassword(30001, "a1", "open sesame");

  auto top = Get("user", "/30001/photo/");
  ASSERT_TRUE(top);
  EXPECT_NE(top->body.find("http://ads.photo.localhost:"), std::string::npos);
  EXPECT_NE(top->body.find("src=\"/30001/photo/albums\""), std::string::npos);
  auto frame = Get("user", "/30001/photo/albums");
  ASSERT_TRUE(frame);
  EXPECT_NE(frame->body.find("var myView"), std::string::npos);
  EXPECT_NE(frame->body.find("tcisdStats"), std::string::npos);
  EXPECT_LT(frame->body.find("\"Zebra\""), frame->body.find("\"Apple\""));

  const std::string album = "/cgi-bin/cgi_view_album?uin=30001&albumid=a1";
  auto locked = Get("user", album);
  ASSERT_TRUE(locked);
  EXPECT_EQ(locked->body.find("origin_url"), std::string::npos);
  auto wrong = Post("user", "/cgi-bin/album_pass",
                    {{"uin", "30001"}, {"albumid", "a1"}, {"password", "guess"}});
  ASSERT_TRUE(wrong);
  EXPECT_EQ(wrong->status, 403);
  EXPECT_FALSE(wrong->has_header("Set-Cookie"));
  auto right = Post("user", "/cgi-bin/album_pass",
                    {{"uin", "30001"}, {"albumid", "a1"}, {"password", "open sesame"}});
  ASSERT_TRUE(right);
  const std::string cookie = right->get_header_value("Set-Cookie");
  auto open = Get("user", album, cookie.substr(0, cookie.find(';')));
  ASSERT_TRUE(open);
  EXPECT_NE(open->body.find("{\"name\": \"photo1\", \"origin_url\": \"http://img."),
            std::string::npos);
  auto plain = Get("user", "/cgi-bin/cgi_view_album?uin=30001&albumid=z9");
  ASSERT_TRUE(plain);
  EXPECT_NE(plain->body.find("origin_url"), std::string::npos);
}

TEST_F(SampleServiceTest, AlbumListOfASignInUserNeedsTheSessionCookie) {
  m_service.ServeUser(30002, {{"s1", "Hidden", 1}});
  m_service.RequireSignIn(30002, "letmein");
  const std::string list = "/fcgi-bin/fcg_list_album?uin=30002";
  auto before = Get("alist1", list);
  ASSERT_TRUE(before);
  EXPECT_EQ(before->body.find("<album>"), std::string::npos);
  auto page = Get("user", "/30002/photo/");
  ASSERT_TRUE(page);
  EXPECT_NE(page->body.find("action=\"/signin\""), std::string::npos);

  auto wrong = Post("user", "/signin", {{"uin", "30002"}, {"password", "nope"}});
  ASSERT_TRUE(wrong);
  EXPECT_FALSE(wrong->has_header("Set-Cookie"));
  auto right = Post("user", "/signin", {{"uin", "30002"}, {"password", "letmein"}});
  ASSERT_TRUE(right);
  EXPECT_EQ(right->status, 303);
  const std::string cookie = right->get_header_value("Set-Cookie");
  EXPECT_NE(cookie.find("Domain=photo.localhost"), std::string::npos);
  auto after = Get("alist1", list, cookie.substr(0, cookie.find(';')));
  ASSERT_TRUE(after);
  EXPECT_NE(after->body.find("<name>Hidden</name>"), std::string::npos);
}

}  // namespace
