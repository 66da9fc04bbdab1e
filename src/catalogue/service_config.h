#pragma once

// Where the photo-album web service lives, and the addresses of its requests.
//
// The host names are configuration: section "service" of service.ini beside the executable.
//
//   [service]
//   album_list_host_1 = alist1.photo.localhost:18421   ; ... _4, host[:port] of each list server
//   photo_host_label_1 = p1                            ; ... _4, one lowercase label, <= 31 chars
//   photo_list_domain = photo.localhost:18421          ; photo lists go to <label>.<domain>
//   user_page_host = user.photo.localhost:18421        ; the user's photo page
//   web_page_1 = http://www.photo.localhost:18421/static/help.html
//   web_page_2 = http://www.photo.localhost:18421/static/about.html
//
// A missing file or key keeps the default, which points at the sample service on this machine.
// A value that is not a valid host or label is ignored (and reported), never used.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

constexpr int kAlbumListServers = 4;
// The sample service's port in the default configuration.
constexpr int kSampleServicePort = 18421;

struct ServiceConfig {
  std::array<std::wstring, kAlbumListServers> albumListHosts;
  std::array<std::wstring, kAlbumListServers> photoHostLabels;
  std::wstring photoListDomain;
  std::wstring userPageHost;
  std::array<std::wstring, 2> webPages;

  static ServiceConfig Defaults();
};

// Reads section "service" of `iniFile` over the defaults. Each ignored value adds a line to
// `problems`.
ServiceConfig LoadServiceConfig(const std::filesystem::path& iniFile,
                                std::vector<std::string>* problems);

// The configuration in use: service.ini beside the executable, read on first use.
ServiceConfig Service();
void SetService(ServiceConfig config);

// "http://<album-list host N>/fcgi-bin/fcg_list_album?uin=<uin>"; empty outside servers 1 to 4.
std::wstring AlbumListUrl(int server, int32_t uin);
// The photo host label of album-list server N; empty outside 1 to 4.
std::wstring PhotoHostLabel(int server);
// "http://<label>.<domain>/fcgi-bin/fcg_list_photo?uin=<uin>&albumid=<id>"
std::wstring PhotoListUrl(std::wstring_view label, int32_t uin, std::wstring_view albumId);
// "http://<user-page host>/<uin>/photo/"
std::wstring UserPhotoPageUrl(int32_t uin);
// "cgi_view_album?uin=<uin>&albumid=<id>", the part of the album page's address searched for.
std::wstring AlbumPagePattern(int32_t uin, std::wstring_view albumId);
// Fixed web page 1 or 2; empty otherwise.
std::wstring FixedWebPage(int which);
