// The sample service's user page, sign-in and photo answers, over HTTP: the GUI suites lean on
// them, and the demo is only as good as they are.

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <ctime>
#include <regex>

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
  httplib::Result GetImage(const std::string& path, httplib::Headers headers) {
    headers.emplace("Host", m_service.Service().Host("img"));
    return Client().Get(path, headers);
  }
  std::string Count(const std::string& prefix, bool reset = false) {
    auto answer = Get("img", "/__count?prefix=" + prefix + (reset ? "&reset=1" : ""));
    return answer ? answer->body : "no answer";
  }

  // What came of a request whose answer may break off.
  struct Received {
    httplib::Response head;  // status and headers
    std::string body;
    bool complete = false;
  };
  Received GetBreaking(const std::string& path, httplib::Headers headers = {}) {
    headers.emplace("Host", m_service.Service().Host("img"));
    Received received;
    received.complete = static_cast<bool>(Client().Get(
        path, headers,
        [&received](const httplib::Response& response) {
          received.head = response;
          return true;
        },
        [&received](const char* data, size_t length) {
          received.body.append(data, length);
          return true;
        }));
    return received;
  }

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

TEST_F(SampleServiceTest, PhotoValidatorsAreTheSameForAnAddressAndDifferBetweenAddresses) {
  auto first = Get("img", "/img/5000/a.jpg");
  auto again = Get("img", "/img/5000/a.jpg");
  ASSERT_TRUE(first && again);
  EXPECT_EQ(first->get_header_value("Accept-Ranges"), "bytes");
  const std::string etag = first->get_header_value("ETag");
  const std::string date = first->get_header_value("Last-Modified");
  EXPECT_TRUE(std::regex_match(etag, std::regex(R"("[0-9a-f]{16}-5000")"))) << etag;
  std::tm parsed{};
  ASSERT_NE(strptime(date.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &parsed), nullptr) << date;
  EXPECT_GE(parsed.tm_year + 1900, 2015);
  EXPECT_LE(parsed.tm_year + 1900, 2024);
  std::tm normalised = parsed;
  timegm(&normalised);
  EXPECT_EQ(normalised.tm_wday, parsed.tm_wday) << date << " names the wrong day";
  EXPECT_EQ(again->get_header_value("ETag"), etag);
  EXPECT_EQ(again->get_header_value("Last-Modified"), date);

  // Another name, another size, or another query (a changed photo) has other validators.
  for (const char* path : {"/img/5000/b.jpg", "/img/5001/a.jpg", "/img/5000/a.jpg?v=2"}) {
    auto other = Get("img", path);
    ASSERT_TRUE(other) << path;
    EXPECT_NE(other->get_header_value("ETag"), etag) << path;
    EXPECT_NE(other->get_header_value("Last-Modified"), date) << path;
  }
  auto changed = Get("img", "/img/5000/a.jpg?v=2");
  ASSERT_TRUE(changed);
  EXPECT_EQ(changed->body, first->body);
}

TEST_F(SampleServiceTest, RangesGetThoseBytesOfThePhotoWhenIfRangeMatches) {
  const std::string path = "/img/60000/a.jpg";
  auto whole = Get("img", path);
  ASSERT_TRUE(whole);
  ASSERT_EQ(whole->body.size(), 60000u);
  const std::string etag = whole->get_header_value("ETag");
  const std::string date = whole->get_header_value("Last-Modified");

  struct Part {
    std::string range, contentRange;
    size_t from, length;
  };
  for (const Part& part : {Part{"bytes=50000-", "bytes 50000-59999/60000", 50000, 10000},
                           Part{"bytes=100-199", "bytes 100-199/60000", 100, 100},  // picture
                           Part{"bytes=59000-99999", "bytes 59000-59999/60000", 59000, 1000},
                           Part{"bytes=-10", "bytes 59990-59999/60000", 59990, 10}}) {
    auto answer = GetImage(path, {{"Range", part.range}});
    ASSERT_TRUE(answer) << part.range;
    EXPECT_EQ(answer->status, 206) << part.range;
    EXPECT_EQ(answer->get_header_value("Content-Range"), part.contentRange);
    EXPECT_EQ(answer->get_header_value("ETag"), etag);
    EXPECT_TRUE(answer->body == whole->body.substr(part.from, part.length)) << part.range;
  }

  for (const std::string& validator : {etag, date}) {
    auto resumed = GetImage(path, {{"Range", "bytes=30000-"}, {"If-Range", validator}});
    ASSERT_TRUE(resumed);
    EXPECT_EQ(resumed->status, 206) << validator;
    EXPECT_TRUE(resumed->body == whole->body.substr(30000)) << validator;
  }
  for (const std::string& validator :
       {std::string("\"0123456789abcdef-60000\""), "W/" + etag, std::string("x") + date}) {
    auto restarted = GetImage(path, {{"Range", "bytes=30000-"}, {"If-Range", validator}});
    ASSERT_TRUE(restarted);
    EXPECT_EQ(restarted->status, 200) << validator;
    EXPECT_FALSE(restarted->has_header("Content-Range")) << validator;
    EXPECT_TRUE(restarted->body == whole->body) << validator;
  }

  for (const char* range : {"bytes=60000-", "bytes=70000-70010"}) {
    auto beyond = GetImage(path, {{"Range", range}});
    ASSERT_TRUE(beyond) << range;
    EXPECT_EQ(beyond->status, 416) << range;
    EXPECT_EQ(beyond->get_header_value("Content-Range"), "bytes */60000") << range;
    EXPECT_TRUE(beyond->body.empty()) << range;
  }
}

TEST_F(SampleServiceTest, BrokenPhotosResumeAndChangingPhotosStartOver) {
  auto whole = Get("img", "/img/4000/r.jpg");  // the same bytes as with any fault
  ASSERT_TRUE(whole);
  const std::string broken = "/img/4000/r.jpg?fault=breakonce";
  const Received first = GetBreaking(broken);
  EXPECT_FALSE(first.complete);
  EXPECT_EQ(first.head.status, 200);
  EXPECT_EQ(first.head.get_header_value("Content-Length"), "4000");
  EXPECT_TRUE(first.body == whole->body.substr(0, 2000)) << first.body.size() << " bytes";
  const std::string etag = first.head.get_header_value("ETag");
  const Received rest = GetBreaking(broken, {{"Range", "bytes=2000-"}, {"If-Range", etag}});
  EXPECT_TRUE(rest.complete);
  EXPECT_EQ(rest.head.status, 206);
  EXPECT_TRUE(rest.body == whole->body.substr(2000));
  EXPECT_TRUE(GetBreaking(broken).body == whole->body);

  // "reset" breaks off every time, a ranged answer at half of its range.
  const Received reset = GetBreaking("/img/4000/r.jpg?fault=reset", {{"Range", "bytes=2000-"}});
  EXPECT_FALSE(reset.complete);
  EXPECT_EQ(reset.head.status, 206);
  EXPECT_EQ(reset.head.get_header_value("Content-Range"), "bytes 2000-3999/4000");
  EXPECT_TRUE(reset.body == whole->body.substr(2000, 1000)) << reset.body.size() << " bytes";

  const std::string changing = "/img/4000/r.jpg?fault=changing";
  auto before = Get("img", changing);
  ASSERT_TRUE(before);
  for (const char* validator : {"ETag", "Last-Modified"}) {
    auto after = GetImage(
        changing, {{"Range", "bytes=1000-"}, {"If-Range", before->get_header_value(validator)}});
    ASSERT_TRUE(after) << validator;
    EXPECT_EQ(after->status, 200) << validator;
    EXPECT_NE(after->get_header_value(validator), before->get_header_value(validator));
    EXPECT_TRUE(after->body == whole->body) << validator;
    before = std::move(after);
  }
}

TEST_F(SampleServiceTest, CountRouteCountsRequestsByPathPrefixUntilReset) {
  for (const char* path : {"/img/100/a.jpg", "/img/100/b.jpg?fault=status500", "/img/200/a.jpg",
                           "/static/missing.txt"}) {
    ASSERT_TRUE(Get("img", path)) << path;
  }
  EXPECT_FALSE(Get("img", "/img/100/c.jpg?fault=drop"));  // counted though nothing came back
  EXPECT_EQ(Count("/img/"), "4");
  EXPECT_EQ(Count("/img/100/"), "3");
  EXPECT_EQ(Count("/static/"), "1");
  EXPECT_EQ(Count("/img/", true), "4");
  EXPECT_EQ(Count("/img/"), "0");
  EXPECT_EQ(Count("/static/"), "1");
  ASSERT_TRUE(Get("img", "/img/100/a.jpg"));
  EXPECT_EQ(Count("/img/"), "1");
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
