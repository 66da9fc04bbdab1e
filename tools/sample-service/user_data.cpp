#include "user_data.h"

#include <tinyxml.h>

namespace {

std::string ChildText(const TiXmlElement* parent, const char* name) {
  const TiXmlElement* child = parent->FirstChildElement(name);
  const char* text = child != nullptr ? child->GetText() : nullptr;
  return text != nullptr ? text : "";
}

std::optional<TiXmlDocument> ParsedFile(const Fixture& fixture, const std::string& label,
                                        const std::string& file) {
  std::optional<std::string> text = fixture.Read(label, file);
  if (!text) {
    return std::nullopt;
  }
  TiXmlDocument document;
  document.Parse(text->c_str(), nullptr, TIXML_ENCODING_UTF8);
  if (document.Error() || document.RootElement() == nullptr) {
    return std::nullopt;
  }
  return document;
}

std::string Trimmed(std::string text) {
  const size_t end = text.find_last_not_of(" \t\r\n");
  text.erase(end == std::string::npos ? 0 : end + 1);
  return text;
}

}  // namespace

std::vector<ListedAlbum> UserAlbums(const Fixture& fixture, const std::string& uin) {
  for (int server = 1; server <= 4; ++server) {
    auto document = ParsedFile(fixture, "alist" + std::to_string(server), uin + ".xml");
    if (!document) {
      continue;
    }
    std::vector<ListedAlbum> albums;
    for (const TiXmlElement* album = document->RootElement()->FirstChildElement("album");
         album != nullptr; album = album->NextSiblingElement("album")) {
      albums.push_back({ChildText(album, "id"), ChildText(album, "name"),
                        !ChildText(album, "question").empty()});
    }
    if (!albums.empty()) {
      return albums;
    }
  }
  return {};
}

std::vector<ListedPhoto> AlbumPhotos(const Fixture& fixture, const std::string& uin,
                                     const std::string& albumId) {
  const std::string file = "photos/" + uin + "/" + FixtureNameOfId(albumId) + ".xml";
  for (int host = 1; host <= 4; ++host) {
    auto document = ParsedFile(fixture, "p" + std::to_string(host), file);
    if (!document) {
      continue;
    }
    std::vector<ListedPhoto> photos;
    for (const TiXmlElement* pic = document->RootElement()->FirstChildElement("pic");
         pic != nullptr; pic = pic->NextSiblingElement("pic")) {
      photos.push_back({ChildText(pic, "name"), ChildText(pic, "origin_url")});
    }
    return photos;
  }
  return {};
}

std::optional<std::string> AlbumPassword(const Fixture& fixture, const std::string& uin,
                                         const std::string& albumId) {
  auto text = fixture.Read("user", uin + "/" + FixtureNameOfId(albumId) + ".password");
  return text ? std::optional(Trimmed(*text)) : std::nullopt;
}

std::optional<std::string> SignInPassword(const Fixture& fixture, const std::string& uin) {
  auto text = fixture.Read("user", uin + "/signin.password");
  return text ? std::optional(Trimmed(*text)) : std::nullopt;
}

std::string SessionCookieName() {
  return "zu_session";
}

std::string SessionCookieValue(const std::string& uin) {
  return "signed-in-" + uin;
}

std::string AlbumCookieName(const std::string& uin, const std::string& albumId) {
  std::string name = "zu_album_" + uin + "_";
  for (char c : FixtureNameOfId(albumId)) {
    name += c == '%' ? '_' : c;  // '%' has no place in a cookie name
  }
  return name;
}

bool HasCookie(const std::string& cookieHeader, const std::string& name, const std::string& value) {
  const std::string wanted = name + "=" + value;
  size_t start = 0;
  while (start <= cookieHeader.size()) {
    size_t end = cookieHeader.find(';', start);
    if (end == std::string::npos) {
      end = cookieHeader.size();
    }
    std::string pair = cookieHeader.substr(start, end - start);
    pair.erase(0, pair.find_first_not_of(' '));
    if (pair == wanted) {
      return true;
    }
    start = end + 1;
  }
  return false;
}
