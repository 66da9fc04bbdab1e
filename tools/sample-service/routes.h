#pragma once

#include <httplib.h>

#include "fixture.h"

// The album-list servers: GET /fcgi-bin/fcg_list_album?uin=<uin> on host alistN answers
// alistN/<uin>.xml.
void AddAlbumListRoutes(httplib::Server& server, const Fixture& fixture);

// Routes on every host for testing the download layer: /redirect?to=<address> answers 302 to
// the address; /redirect-loop redirects to itself; /echo-cookie answers the request's Cookie
// header; /static/<file> answers <host label>/static/<file> (with its fault, if any).
void AddUtilityRoutes(httplib::Server& server, const Fixture& fixture);

// The photo-list hosts: GET /fcgi-bin/fcg_list_photo?uin=<uin>&albumid=<id> on host <label>
// answers <label>/photos/<uin>/<id>.xml (other bytes of the id than letters, digits, '_' and '-' as
// %XX).
void AddPhotoListRoutes(httplib::Server& server, const Fixture& fixture);

// Photo images on every host: GET /img/<size>/<name> answers <size> bytes of a fixed pattern
// (starting like a JPEG file); ?fault=<word> plays a fault. Answers carry ETag, Last-Modified and
// Accept-Ranges, and honour Range and If-Range (see ranges.h).
void AddImageRoutes(httplib::Server& server);

// The user page on host "user": GET /<uin>/photo/ shows a frame of another origin (host "ads",
// /ad) and the album frame /<uin>/photo/albums, whose script defines myView (tcisdStats, enter)
// over the user's albums in the order of the user's album list. A password album asks for its
// password (user/<uin>/<id>.password; the page shows it, this being a demo); POST
// /cgi-bin/album_pass checks it and sets the album's cookie. GET
// /cgi-bin/cgi_view_album?uin=<uin>&albumid=<id> answers the album's photos in the text form
// ("origin_url" per photo), or an error without photos for a locked album.
// A user with user/<uin>/signin.password must sign in first: the page shows a form that posts
// to /signin, which sets the session cookie for the domain of every host of the service. Until
// a request carries that cookie, the album-list servers list no album for the user.
void AddUserPageRoutes(httplib::Server& server, const Fixture& fixture);
