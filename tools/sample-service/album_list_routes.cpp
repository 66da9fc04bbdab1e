#include "routes.h"

#include "answer.h"
#include "user_data.h"

void AddAlbumListRoutes(httplib::Server& server, const Fixture& fixture) {
  server.Get("/fcgi-bin/fcg_list_album", [&fixture](const httplib::Request& request,
                                                    httplib::Response& response) {
    const std::string label = HostLabel(request.get_header_value("Host"));
    const std::string uin = request.get_param_value("uin");
    if (uin.empty() || uin.find_first_not_of("0123456789") != std::string::npos) {
      response.status = 400;
      return;
    }
    if (SignInPassword(fixture, uin) && !HasCookie(request.get_header_value("Cookie"),
                                                   SessionCookieName(), SessionCookieValue(uin))) {
      response.set_content("<?xml version=\"1.0\" encoding=\"UTF-8\"?><data></data>",
                           "text/xml; charset=utf-8");
      return;
    }
    const std::string file = uin + ".xml";
    AnswerFile(request, response, fixture, label, file, "text/xml; charset=utf-8");
  });
}
