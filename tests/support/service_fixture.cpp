#include "support/service_fixture.h"

#include <algorithm>

#include "platform/code_page.h"
#include "ui/main_window.h"

ServiceFixture::ServiceFixture(const std::vector<std::string>& serviceOptions) {
  for (int i = 1; i <= 4; ++i) {
    std::filesystem::create_directories(m_files.Path() / ("alist" + std::to_string(i)));
  }
  m_service = std::make_unique<SampleServiceProcess>(m_files.Path(), serviceOptions);
}

void ServiceFixture::ServeUser(int32_t uin, const std::vector<FixtureAlbum>& albums) {
  std::string list = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><data>";
  const std::string folder = "p1/photos/" + std::to_string(uin);
  std::filesystem::create_directories(m_files.Path() / folder);
  for (const FixtureAlbum& album : albums) {
    list += "<album><id>" + album.id + "</id><name>" + album.name + "</name><total>" +
            std::to_string(std::max(1, album.photos)) + "</total>" +
            (album.password ? "<question>q</question>" : "") + "</album>";
    if (album.listFault == "missing") {
      continue;
    }
    std::string photos = "<?xml version=\"1.0\"?><data>";
    for (int i = 0; i < album.photos; ++i) {
      photos += "<pic><name>photo" + std::to_string(i) + "</name><origin_url>" +
                ImageUrl(album.photoBytes, std::to_string(i), album.photoFault) +
                "</origin_url></pic>";
    }
    const std::string file = folder + "/" + WideToUtf8(PhotoListFileName(album.id)) + ".xml";
    m_files.Write(file, photos + "</data>");
    if (!album.listFault.empty()) {
      m_files.Write(file + ".fault", album.listFault);
    }
  }
  m_files.Write("alist1/" + std::to_string(uin) + ".xml", list + "</data>");
}

void ServiceFixture::SetAlbumPassword(int32_t uin, const std::string& albumId,
                                      const std::string& password) {
  std::filesystem::create_directories(m_files.Path() / "user" / std::to_string(uin));
  m_files.Write(
      "user/" + std::to_string(uin) + "/" + WideToUtf8(PhotoListFileName(albumId)) + ".password",
      password);
}

void ServiceFixture::RequireSignIn(int32_t uin, const std::string& password) {
  std::filesystem::create_directories(m_files.Path() / "user" / std::to_string(uin));
  m_files.Write("user/" + std::to_string(uin) + "/signin.password", password);
}

std::string ServiceFixture::ImageUrl(size_t bytes, const std::string& name,
                                     const std::string& fault) const {
  std::string url =
      "http://" + m_service->Host("img") + "/img/" + std::to_string(bytes) + "/" + name + ".jpg";
  return fault.empty() ? url : url + "?fault=" + fault;
}

ServiceConfig ServiceFixture::Config() const {
  ServiceConfig config = ServiceConfig::Defaults();
  const std::string port = std::to_string(m_service->Port());
  for (int i = 0; i < 4; ++i) {
    config.albumListHosts[i] = Utf8ToWide(m_service->Host("alist" + std::to_string(i + 1)));
  }
  config.photoListDomain = Utf8ToWide("photo.localhost:" + port);
  config.userPageHost = Utf8ToWide(m_service->Host("user"));
  return config;
}

std::string ServiceFixture::ServiceIni() const {
  const ServiceConfig config = Config();
  std::string ini = "[service]\n";
  for (int i = 0; i < 4; ++i) {
    ini += "album_list_host_" + std::to_string(i + 1) + "=" + WideToUtf8(config.albumListHosts[i]) +
           "\n";
  }
  ini += "photo_list_domain=" + WideToUtf8(config.photoListDomain) + "\n";
  ini += "user_page_host=" + WideToUtf8(config.userPageHost) + "\n";
  return ini;
}
