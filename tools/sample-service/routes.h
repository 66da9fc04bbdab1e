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
// (starting like a JPEG file); ?fault=<word> plays a fault.
void AddImageRoutes(httplib::Server& server);
