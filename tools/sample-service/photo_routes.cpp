#include "answer.h"
#include "routes.h"

void AddPhotoListRoutes(httplib::Server& server, const Fixture& fixture) {
  server.Get("/fcgi-bin/fcg_list_photo",
             [&fixture](const httplib::Request& request, httplib::Response& response) {
               const std::string label = HostLabel(request.get_header_value("Host"));
               const std::string uin = request.get_param_value("uin");
               const std::string id = request.get_param_value("albumid");
               if (uin.empty() || uin.find_first_not_of("0123456789") != std::string::npos ||
                   id.empty() || id.size() > 128) {
                 response.status = 404;
                 return;
               }
               const std::string file = "photos/" + uin + "/" + FixtureNameOfId(id) + ".xml";
               AnswerFile(request, response, fixture, label, file, "text/xml; charset=utf-8");
             });
}
