#include "support/sample_service_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

extern char** environ;

SampleServiceProcess::SampleServiceProcess(const std::filesystem::path& fixtures,
                                           const std::vector<std::string>& options) {
  int out[2];
  if (pipe(out) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const std::string binary = SAMPLE_SERVICE_BIN;
  const std::string folder = fixtures.string();
  std::vector<const char*> argv = {binary.c_str(), "--fixtures", folder.c_str(),
                                   "--port",       "0",          "--exit-with-parent"};
  for (const std::string& option : options) {
    argv.push_back(option.c_str());
  }
  argv.push_back(nullptr);
  const int rc = posix_spawn(&m_pid, binary.c_str(), &actions, nullptr,
                             const_cast<char* const*>(argv.data()), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    throw std::runtime_error("cannot start the sample service");
  }
  // The service prints its port once it listens; reading that line is the wait.
  FILE* stream = fdopen(out[0], "r");
  if (stream == nullptr || std::fscanf(stream, "listening on %d", &m_port) != 1) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    throw std::runtime_error("the sample service did not start");
  }
  std::fclose(stream);
}

SampleServiceProcess::~SampleServiceProcess() {
  if (m_pid > 0) {
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
  }
}

std::string SampleServiceProcess::Host(std::string_view label) const {
  return std::string(label) + ".photo.localhost:" + std::to_string(m_port);
}

std::wstring SampleServiceProcess::Url(std::string_view label, std::string_view path) const {
  const std::string url = "http://" + Host(label) + std::string(path);
  return std::wstring(url.begin(), url.end());
}
