#pragma once

// A sample service with a fixture the test writes: users, their album lists (on album-list
// server 1), photo lists (on photo host p1), album passwords and sign-in.

#include <memory>
#include <string>
#include <vector>

#include "catalogue/service_config.h"
#include "support/sample_service_process.h"
#include "support/temp_dir.h"

struct FixtureAlbum {
  FixtureAlbum(std::string albumId, std::string albumName, int count, bool hasPassword = false,
               std::string listFaultWord = "", size_t bytes = 1000, std::string photoFaultWord = "")
      : id(std::move(albumId)),
        name(std::move(albumName)),
        photos(count),
        password(hasPassword),
        listFault(std::move(listFaultWord)),
        photoBytes(bytes),
        photoFault(std::move(photoFaultWord)) {}
  std::string id;
  std::string name;
  int photos = 0;  // photos in its photo list
  bool password = false;
  std::string listFault;     // a fault of its photo-list answer ("" for none, "missing")
  size_t photoBytes = 1000;  // each photo's size
  std::string photoFault;    // a fault of every photo ("slow", ...)
};

class ServiceFixture {
 public:
  // `serviceOptions` go on the service's command line ("--rate-kbps", "48000", ...).
  explicit ServiceFixture(const std::vector<std::string>& serviceOptions = {});

  // Writes the album list of `uin` and the photo lists of its albums.
  void ServeUser(int32_t uin, const std::vector<FixtureAlbum>& albums);
  // The password the user page asks for the album.
  void SetAlbumPassword(int32_t uin, const std::string& albumId, const std::string& password);
  // The user's album list is empty until the user signs in with `password` on the user page.
  void RequireSignIn(int32_t uin, const std::string& password);
  std::string ImageUrl(size_t bytes, const std::string& name, const std::string& fault) const;
  // Every host of the service on this process's port.
  ServiceConfig Config() const;
  // The text of a service.ini that points a program at this service.
  std::string ServiceIni() const;
  const SampleServiceProcess& Service() const { return *m_service; }

  TempDir m_files;

 private:
  std::unique_ptr<SampleServiceProcess> m_service;
};
