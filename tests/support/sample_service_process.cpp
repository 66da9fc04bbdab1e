#include "support/sample_service_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

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

int SampleServiceProcess::TakeRequestCount(std::string_view prefix) const {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return -1;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(m_port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
    const std::string request = "GET /__count?prefix=" + std::string(prefix) +
                                "&reset=1 HTTP/1.0\r\nHost: " + Host("img") +
                                "\r\nConnection: close\r\n\r\n";
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
        static_cast<ssize_t>(request.size())) {
      char buffer[4096];
      ssize_t got;
      while ((got = recv(fd, buffer, sizeof(buffer), 0)) > 0) {
        answer.append(buffer, static_cast<size_t>(got));
      }
    }
  }
  close(fd);
  const size_t body = answer.find("\r\n\r\n");
  if (answer.rfind("HTTP/1.1 200", 0) != 0 || body == std::string::npos) {
    return -1;
  }
  return std::atoi(answer.c_str() + body + 4);
}
