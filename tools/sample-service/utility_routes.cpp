#include "answer.h"
#include "routes.h"

namespace {

std::string ContentTypeOf(const std::string& file) {
  auto endsWith = [&file](const std::string& suffix) {
    return file.size() >= suffix.size() &&
           file.compare(file.size() - suffix.size(), suffix.size(), suffix) == 0;
  };
  if (endsWith(".html"))
    return "text/html; charset=utf-8";
  if (endsWith(".js"))
    return "application/javascript; charset=utf-8";
  if (endsWith(".json"))
    return "application/json; charset=utf-8";
  if (endsWith(".txt"))
    return "text/plain; charset=utf-8";
  if (endsWith(".xml"))
    return "text/xml; charset=utf-8";
  if (endsWith(".png"))
    return "image/png";
  if (endsWith(".jpg"))
    return "image/jpeg";
  return "application/octet-stream";
}

}  // namespace

void AddUtilityRoutes(httplib::Server& server, const Fixture& fixture) {
  server.Get("/redirect", [](const httplib::Request& request, httplib::Response& response) {
    response.set_redirect(request.get_param_value("to"));
  });
  server.Get("/redirect-loop", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("/redirect-loop");
  });
  server.Get("/set-cookie", [](const httplib::Request& request, httplib::Response& response) {
    std::string cookie =
        request.get_param_value("name") + "=" + request.get_param_value("value") + "; Path=/";
    if (request.has_param("domain")) {
      cookie += "; Domain=" + request.get_param_value("domain");
    }
    response.set_header("Set-Cookie", cookie);
    response.set_content("ok", "text/plain");
  });
  server.Get("/echo-cookie", [](const httplib::Request& request, httplib::Response& response) {
    response.set_content(request.get_header_value("Cookie"), "text/plain");
  });
  server.Get(R"(/static/(.+))",
             [&fixture](const httplib::Request& request, httplib::Response& response) {
               const std::string label = HostLabel(request.get_header_value("Host"));
               const std::string file = "static/" + request.matches[1].str();
               AnswerFile(request, response, fixture, label, file, ContentTypeOf(file));
             });
}
