// The service.ini installed as the default (packaging/service.ini) states every key the program
// reads, commented out at the value the program uses without it.

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/service_config.h"
#include "support/temp_dir.h"

namespace {

void ExpectSameConfig(const ServiceConfig& actual, const ServiceConfig& expected) {
  EXPECT_EQ(actual.albumListHosts, expected.albumListHosts);
  EXPECT_EQ(actual.photoHostLabels, expected.photoHostLabels);
  EXPECT_EQ(actual.photoListDomain, expected.photoListDomain);
  EXPECT_EQ(actual.userPageHost, expected.userPageHost);
  EXPECT_EQ(actual.webPages, expected.webPages);
}

// Every key the program reads from section "service".
std::set<std::string> ServiceKeys() {
  std::set<std::string> keys = {"photo_list_domain", "user_page_host", "web_page_1", "web_page_2"};
  for (int i = 1; i <= kAlbumListServers; ++i) {
    keys.insert("album_list_host_" + std::to_string(i));
    keys.insert("photo_host_label_" + std::to_string(i));
  }
  return keys;
}

TEST(InstalledServiceIniTest, AsInstalledItChangesNothing) {
  std::vector<std::string> problems;
  ExpectSameConfig(LoadServiceConfig(ZP_INSTALLED_SERVICE_INI, &problems),
                   ServiceConfig::Defaults());
  EXPECT_TRUE(problems.empty());
}

TEST(InstalledServiceIniTest, ItsCommentedKeysAreEveryKeyAtItsDefault) {
  const std::string text = ReadFileBytes(ZP_INSTALLED_SERVICE_INI);
  ASSERT_FALSE(text.empty());
  const std::regex commentedKey(R"(^#([a-z0-9_]+) = (.*)$)");
  std::istringstream lines(text);
  std::string line;
  std::string uncommented;
  std::set<std::string> keys;
  while (std::getline(lines, line)) {
    std::smatch match;
    if (std::regex_match(line, match, commentedKey)) {
      EXPECT_TRUE(keys.insert(match[1]).second) << "twice: " << match[1];
      uncommented += std::string(match[1]) + " = " + std::string(match[2]) + "\n";
    } else {
      uncommented += line + "\n";
    }
  }
  EXPECT_EQ(keys, ServiceKeys());

  TempDir dir;
  std::vector<std::string> problems;
  ExpectSameConfig(LoadServiceConfig(dir.Write("service.ini", uncommented), &problems),
                   ServiceConfig::Defaults());
  EXPECT_TRUE(problems.empty());
}

}  // namespace
