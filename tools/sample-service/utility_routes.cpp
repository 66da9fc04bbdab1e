#include "answer.h"
#include "routes.h"

void AddUtilityRoutes(httplib::Server& server, const Fixture& fixture) {
  server.Get("/redirect", [](const httplib::Request& request, httplib::Response& response) {
    response.set_redirect(request.get_param_value("to"));
  });
  server.Get("/redirect-loop", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("/redirect-loop");
  });
  server.Get("/echo-cookie", [](const httplib::Request& request, httplib::Response& response) {
    response.set_content(request.get_header_value("Cookie"), "text/plain");
  });
  server.Get(R"(/static/(.+))",
             [&fixture](const httplib::Request& request, httplib::Response& response) {
               const std::string label = HostLabel(request.get_header_value("Host"));
               const std::string file = "static/" + request.matches[1].str();
               std::optional<std::string> body = fixture.Read(label, file);
               if (!body) {
                 response.status = 404;
                 return;
               }
               Answer(request, response, std::move(*body), "application/octet-stream",
                      fixture.FaultOf(label, file));
             });
}
