#pragma once

// What the user page knows of a user, read from the fixture: the albums in the order of the
// user's album list, each album's photos, and the passwords.

#include <optional>
#include <string>
#include <vector>

#include "fixture.h"

struct ListedAlbum {
  std::string id;
  std::string name;
  bool locked = false;  // a password album (its "question" is not empty)
};

struct ListedPhoto {
  std::string name;
  std::string address;
};

// The albums of the first of alist1 ... alist4 that lists the user.
std::vector<ListedAlbum> UserAlbums(const Fixture& fixture, const std::string& uin);
// The photos of the album's photo list on the first photo host (p1 ... p4) that has one.
std::vector<ListedPhoto> AlbumPhotos(const Fixture& fixture, const std::string& uin,
                                     const std::string& albumId);
// user/<uin>/<album file name>.password: the album's password, if it has one.
std::optional<std::string> AlbumPassword(const Fixture& fixture, const std::string& uin,
                                         const std::string& albumId);
// user/<uin>/signin.password: present when the user's album list needs sign-in.
std::optional<std::string> SignInPassword(const Fixture& fixture, const std::string& uin);

// The session cookie of a user who signed in on the user page.
std::string SessionCookieName();
std::string SessionCookieValue(const std::string& uin);
// The cookie that opens a password album after its password was given.
std::string AlbumCookieName(const std::string& uin, const std::string& albumId);
// Whether the Cookie header holds name=value.
bool HasCookie(const std::string& cookieHeader, const std::string& name, const std::string& value);
