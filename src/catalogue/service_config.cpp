#include "catalogue/service_config.h"

#include <glib.h>

#include <cstdio>
#include <mutex>
#include <optional>

#include "platform/app_paths.h"
#include "platform/code_page.h"
#include "platform/executable_folder.h"

namespace {

constexpr size_t kMaxLabelChars = 31;

std::mutex g_mutex;
std::optional<ServiceConfig> g_config;

bool IsLabel(std::wstring_view text) {
  if (text.empty() || text.size() > kMaxLabelChars || text.front() == L'-' || text.back() == L'-') {
    return false;
  }
  for (wchar_t c : text) {
    if (!((c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'-')) {
      return false;
    }
  }
  return true;
}

// host, or host:port, with host made of dot-separated labels.
bool IsHost(std::wstring_view text) {
  const size_t colon = text.find(L':');
  std::wstring_view host = text.substr(0, colon);
  if (colon != std::wstring_view::npos) {
    const std::wstring_view port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of(L"0123456789") != std::wstring_view::npos) {
      return false;
    }
  }
  if (host.empty()) {
    return false;
  }
  size_t start = 0;
  while (start <= host.size()) {
    const size_t dot = host.find(L'.', start);
    const std::wstring_view label =
        host.substr(start, dot == std::wstring_view::npos ? std::wstring_view::npos : dot - start);
    std::wstring lower(label);
    for (wchar_t& c : lower) {
      if (c >= L'A' && c <= L'Z') {
        c = static_cast<wchar_t>(c - L'A' + L'a');
      }
    }
    if (lower.size() > 63 || !IsLabel(lower)) {
      return false;
    }
    if (dot == std::wstring_view::npos) {
      break;
    }
    start = dot + 1;
  }
  return true;
}

bool IsWebPage(std::wstring_view text) {
  return (text.rfind(L"http://", 0) == 0 || text.rfind(L"https://", 0) == 0) &&
         text.find_first_of(L" \t\r\n") == std::wstring_view::npos;
}

void ReadValue(GKeyFile* file, const char* key, bool (*valid)(std::wstring_view),
               std::wstring* target, std::vector<std::string>* problems) {
  gchar* value = g_key_file_get_string(file, "service", key, nullptr);
  if (value == nullptr) {
    return;
  }
  const std::wstring text = Utf8ToWide(value);
  g_free(value);
  if (valid(text)) {
    *target = text;
  } else if (problems != nullptr) {
    problems->push_back(std::string("service.ini: ignoring ") + key + " = " + WideToUtf8(text));
  }
}

std::wstring Http(std::wstring_view host, std::wstring_view pathAndQuery) {
  return L"http://" + std::wstring(host) + std::wstring(pathAndQuery);
}

}  // namespace

ServiceConfig ServiceConfig::Defaults() {
  const std::wstring port = std::to_wstring(kSampleServicePort);
  ServiceConfig config;
  for (int i = 0; i < kAlbumListServers; ++i) {
    const std::wstring n = std::to_wstring(i + 1);
    config.albumListHosts[i] = L"alist" + n + L".photo.localhost:" + port;
    config.photoHostLabels[i] = L"p" + n;
  }
  config.photoListDomain = L"photo.localhost:" + port;
  config.userPageHost = L"user.photo.localhost:" + port;
  config.webPages[0] = L"http://www.photo.localhost:" + port + L"/static/help.html";
  config.webPages[1] = L"http://www.photo.localhost:" + port + L"/static/about.html";
  return config;
}

ServiceConfig LoadServiceConfig(const std::filesystem::path& iniFile,
                                std::vector<std::string>* problems) {
  ServiceConfig config = ServiceConfig::Defaults();
  GKeyFile* file = g_key_file_new();
  GError* error = nullptr;
  if (!g_key_file_load_from_file(file, iniFile.c_str(), G_KEY_FILE_NONE, &error)) {
    if (problems != nullptr && !g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT)) {
      problems->push_back("service.ini: " + std::string(error->message));
    }
    g_clear_error(&error);
    g_key_file_free(file);
    return config;
  }
  for (int i = 0; i < kAlbumListServers; ++i) {
    const std::string n = std::to_string(i + 1);
    ReadValue(file, ("album_list_host_" + n).c_str(), IsHost, &config.albumListHosts[i], problems);
    ReadValue(file, ("photo_host_label_" + n).c_str(), IsLabel, &config.photoHostLabels[i],
              problems);
  }
  ReadValue(file, "photo_list_domain", IsHost, &config.photoListDomain, problems);
  ReadValue(file, "user_page_host", IsHost, &config.userPageHost, problems);
  ReadValue(file, "web_page_1", IsWebPage, &config.webPages[0], problems);
  ReadValue(file, "web_page_2", IsWebPage, &config.webPages[1], problems);
  g_key_file_free(file);
  return config;
}

ServiceConfig Service() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_config) {
    std::vector<std::string> problems;
    // The first service.ini there is, from beside the executable to the installed default.
    std::filesystem::path file;
    for (const std::filesystem::path& candidate : ServiceConfigCandidates()) {
      std::error_code ec;
      if (std::filesystem::exists(candidate, ec)) {
        file = candidate;
        break;
      }
    }
    g_config = file.empty() ? ServiceConfig::Defaults() : LoadServiceConfig(file, &problems);
    for (const std::string& problem : problems) {
      std::fprintf(stderr, "%s\n", problem.c_str());
    }
  }
  return *g_config;
}

void SetService(ServiceConfig config) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_config = std::move(config);
}

std::wstring AlbumListUrl(int server, int32_t uin) {
  if (server < 1 || server > kAlbumListServers) {
    return {};
  }
  return Http(Service().albumListHosts[server - 1],
              L"/fcgi-bin/fcg_list_album?uin=" + std::to_wstring(uin));
}

std::wstring PhotoHostLabel(int server) {
  if (server < 1 || server > kAlbumListServers) {
    return {};
  }
  return Service().photoHostLabels[server - 1];
}

std::wstring PhotoListUrl(std::wstring_view label, int32_t uin, std::wstring_view albumId) {
  return Http(std::wstring(label) + L"." + Service().photoListDomain,
              L"/fcgi-bin/fcg_list_photo?uin=" + std::to_wstring(uin) + L"&albumid=" +
                  std::wstring(albumId));
}

std::wstring UserPhotoPageUrl(int32_t uin) {
  return Http(Service().userPageHost, L"/" + std::to_wstring(uin) + L"/photo/");
}

std::wstring AlbumPagePattern(int32_t uin, std::wstring_view albumId) {
  return L"cgi_view_album?uin=" + std::to_wstring(uin) + L"&albumid=" + std::wstring(albumId);
}

std::wstring FixedWebPage(int which) {
  if (which < 1 || which > 2) {
    return {};
  }
  return Service().webPages[which - 1];
}
