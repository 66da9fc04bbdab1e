#include "request_count.h"

#include <cstdint>
#include <map>
#include <mutex>

namespace {

std::mutex g_mutex;
std::map<std::string, uint64_t> g_counts;  // by path

// The requests whose path starts with `prefix`; with `reset` they are forgotten.
uint64_t CountOf(const std::string& prefix, bool reset) {
  std::lock_guard<std::mutex> lock(g_mutex);
  uint64_t total = 0;
  auto it = g_counts.lower_bound(prefix);
  while (it != g_counts.end() && it->first.compare(0, prefix.size(), prefix) == 0) {
    total += it->second;
    it = reset ? g_counts.erase(it) : std::next(it);
  }
  return total;
}

}  // namespace

void CountRequest(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ++g_counts[path];
}

void AddCountRoute(httplib::Server& server) {
  server.Get("/__count", [](const httplib::Request& request, httplib::Response& response) {
    const bool reset = request.get_param_value("reset") == "1";
    response.set_content(std::to_string(CountOf(request.get_param_value("prefix"), reset)),
                         "text/plain");
  });
}
