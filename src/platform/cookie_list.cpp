#include "platform/cookie_list.h"

#include <mutex>

namespace {

std::mutex g_mutex;
std::vector<std::string> g_lines;

}  // namespace

void ReplaceCookieList(std::vector<std::string> lines) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_lines = std::move(lines);
}

std::vector<std::string> CookieListSnapshot() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_lines;
}
