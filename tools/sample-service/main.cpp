// sample-service: a stand-in for the photo-album web service on 127.0.0.1, answering from a
// fixture folder (see fixture.h and README.md).
//
//   sample-service --fixtures DIR [--port N] [--exit-with-parent] [--latency-ms N]
//                  [--rate-kbps N]
//
// --latency-ms N makes each answer's first byte wait N ms; --rate-kbps N paces each connection's
// photo bodies to N kilobits a second.
//
// With --port 0 (the default) a free port is taken. Once it listens, it prints
// "listening on <port>" on a line of its own. It runs until SIGTERM or SIGINT, or with
// --exit-with-parent also until the process that started it ends (a test that crashed).

#include <sys/prctl.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "answer.h"
#include "fixture.h"
#include "request_count.h"
#include "routes.h"

namespace {

// Ends at once: nothing is kept between runs, and waiting for idle keep-alive connections (and
// stalled answers) to time out would only slow down whoever stops the service.
void Stop(int) {
  _exit(0);
}

int Usage() {
  std::fputs(
      "usage: sample-service --fixtures DIR [--port N] [--exit-with-parent] [--latency-ms N] "
      "[--rate-kbps N]\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string fixtures;
  int port = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--fixtures" && i + 1 < argc) {
      fixtures = argv[++i];
    } else if (arg == "--exit-with-parent") {
      const pid_t parent = getppid();
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) {
        return 0;  // the parent is already gone
      }
    } else if (arg == "--port" && i + 1 < argc) {
      port = std::atoi(argv[++i]);
    } else if (arg == "--latency-ms" && i + 1 < argc) {
      g_latencyMs = std::max(0, std::atoi(argv[++i]));
    } else if (arg == "--rate-kbps" && i + 1 < argc) {
      g_rateKbps = std::max(0, std::atoi(argv[++i]));
    } else {
      return Usage();
    }
  }
  if (fixtures.empty() || port < 0 || port > 65535) {
    return Usage();
  }

  const Fixture fixture(fixtures);
  httplib::Server server;
  server.set_keep_alive_max_count(100000);
  // A client keeps idle connections open between requests (the program keeps its album-list
  // connections for the whole run beside its photo connections): enough threads that an idle
  // connection never holds up another client's request.
  server.new_task_queue = [] { return new httplib::ThreadPool(64); };
  server.set_tcp_nodelay(true);  // no 40 ms pauses between the headers and a small body
  server.set_pre_routing_handler([](const httplib::Request& request, httplib::Response&) {
    // Counted before the answer starts, so that a client that has seen any of it sees it counted.
    CountRequest(request.path);
    if (request.has_header("Range")) {
      CountRequest("ranged:" + request.path);  // a resumed transfer, told apart for tests
    }
    if (const int latency = g_latencyMs; latency > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(latency));
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  AddAlbumListRoutes(server, fixture);
  AddUtilityRoutes(server, fixture);
  AddPhotoListRoutes(server, fixture);
  AddImageRoutes(server);
  AddUserPageRoutes(server, fixture);
  AddCountRoute(server);

  std::signal(SIGTERM, Stop);
  std::signal(SIGINT, Stop);
  std::signal(SIGPIPE, SIG_IGN);

  if (port == 0) {
    port = server.bind_to_any_port("127.0.0.1");
  } else if (!server.bind_to_port("127.0.0.1", port)) {
    port = -1;
  }
  if (port < 0) {
    std::fprintf(stderr, "sample-service: cannot listen\n");
    return 1;
  }
  std::printf("listening on %d\n", port);
  std::fflush(stdout);
  server.listen_after_bind();
  return 0;
}
