#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The sample service running as a child process on a free port, stopped at the end.
class SampleServiceProcess {
 public:
  // `options` go on the service's command line too ("--latency-ms", "40", ...).
  explicit SampleServiceProcess(const std::filesystem::path& fixtures,
                                const std::vector<std::string>& options = {});
  ~SampleServiceProcess();
  SampleServiceProcess(const SampleServiceProcess&) = delete;
  SampleServiceProcess& operator=(const SampleServiceProcess&) = delete;

  int Port() const { return m_port; }
  // "<label>.photo.localhost:<port>"
  std::string Host(std::string_view label) const;
  // "http://<label>.photo.localhost:<port><path>"
  std::wstring Url(std::string_view label, std::string_view path) const;
  // The requests the service has answered whose path starts with `prefix` since the last call for
  // that prefix ("ranged:<path>" counts those with a Range header); -1 when it cannot be asked. It
  // asks over a connection of its own that closes at once, so no kept-alive connection of the
  // caller's holds up the service.
  int TakeRequestCount(std::string_view prefix) const;

 private:
  pid_t m_pid = -1;
  int m_port = -1;
};
