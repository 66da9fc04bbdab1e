#include <string>

#include "answer.h"
#include "routes.h"
#include "user_data.h"

namespace {

std::string HtmlEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A JSON string literal that is also safe inside a <script> element.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == '<' || c == '>' || c == '&') {
      static constexpr char kDigits[] = "0123456789abcdef";
      out += "\\u00";
      out += kDigits[c >> 4];
      out += kDigits[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// "photo.localhost" for "user.photo.localhost:18421": the domain every host of the service
// shares, where the session cookie goes.
std::string ServiceDomain(const std::string& host) {
  const std::string name = host.substr(0, host.find(':'));
  const size_t dot = name.find('.');
  return dot == std::string::npos ? name : name.substr(dot + 1);
}

std::string HostPort(const std::string& host) {
  const size_t colon = host.find(':');
  return colon == std::string::npos ? "" : host.substr(colon);
}

bool IsNumber(const std::string& text) {
  return !text.empty() && text.size() <= 10 && text.find_first_not_of("0123456789") == text.npos;
}

constexpr const char* kStyle = R"(
  body { font: 14px/1.6 "Noto Sans CJK SC", "WenQuanYi Micro Hei", sans-serif; margin: 0;
         color: #2b3440; background: #f4f6f8; }
  header { background: #3d6d99; color: #fff; padding: 10px 16px; font-size: 16px; }
  main { padding: 12px 16px; }
  iframe { border: 0; width: 100%; }
  iframe.ad { height: 40px; }
  iframe.albums { height: 560px; }
  ul { list-style: none; padding: 0; margin: 0; }
  li.album { display: flex; justify-content: space-between; padding: 6px 10px; margin: 4px 0;
             background: #fff; border: 1px solid #dde3ea; border-radius: 4px; cursor: pointer; }
  li.album:hover { border-color: #3d6d99; }
  .lock { color: #b5651d; }
  form { margin: 12px 0; }
  input { font: inherit; padding: 4px 6px; border: 1px solid #b9c4cf; border-radius: 3px; }
  button { font: inherit; padding: 4px 14px; border: 0; border-radius: 3px; background: #3d6d99;
           color: #fff; cursor: pointer; }
  .hint { color: #6b7785; font-size: 12px; }
  .error { color: #b03030; }
)";

std::string Page(const std::string& title, const std::string& head, const std::string& body) {
  return "<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" +
         HtmlEscaped(title) + "</title><style>" + kStyle + "</style>" + head + "</head><body>" +
         body + "</body></html>";
}

std::string SignInPage(const std::string& uin, const std::string& password, bool failed) {
  return Page("Zu空间 · 登录", "",
              "<header>Zu空间 · 登录</header><main><p>用户 " + uin +
                  " 的相册需要登录后才能查看。</p>" +
                  (failed ? "<p class=\"error\">密码不正确，请重试。</p>" : "") +
                  "<form method=\"post\" action=\"/signin\"><input type=\"hidden\" "
                  "name=\"uin\" value=\"" +
                  uin +
                  "\"><label>密码 <input id=\"signin-password\" type=\"password\" "
                  "name=\"password\" autofocus></label> <button>登录</button></form>"
                  "<script>document.getElementById('signin-password').focus();</script>"
                  "<p class=\"hint\">演示密码：" +
                  HtmlEscaped(password) + "</p></main>");
}

// The frame of the user page that shows the albums. It defines myView: enter(row) opens the
// album of that row of the user's list, asking for its password first when it has one.
std::string AlbumFrame(const Fixture& fixture, const std::string& uin) {
  std::string data = "[";
  for (const ListedAlbum& album : UserAlbums(fixture, uin)) {
    const std::optional<std::string> password = AlbumPassword(fixture, uin, album.id);
    data += "{\"id\":" + JsonString(album.id) + ",\"name\":" + JsonString(album.name) +
            ",\"locked\":" + (album.locked ? "true" : "false") +
            ",\"hint\":" + JsonString(password.value_or("")) + "},";
  }
  data += "]";
  const std::string script = "var uin = " + JsonString(uin) + ";\nvar albums = " + data + ";\n" +
                             R"JS(
function text(tag, content, cls) {
  var node = document.createElement(tag);
  node.textContent = content;
  if (cls) node.className = cls;
  return node;
}
function showPhotos(view, answer) {
  var names = [], pattern = /"name": "([^"]*)"/g, match;
  while ((match = pattern.exec(answer)) !== null) names.push(match[1]);
  view.appendChild(text('p', '共 ' + names.length + ' 张照片'));
  var list = document.createElement('ul');
  names.forEach(function (name) { list.appendChild(text('li', name)); });
  view.appendChild(list);
}
function load(row, view) {
  var album = albums[row];
  var request = new XMLHttpRequest();
  request.open('GET', '/cgi-bin/cgi_view_album?uin=' + uin + '&albumid=' +
               encodeURIComponent(album.id));
  request.onload = function () {
    if (request.responseText.indexOf('origin_url') < 0) {
      view.appendChild(text('p', '无法打开相册。', 'error'));
    } else {
      showPhotos(view, request.responseText);
    }
  };
  request.send();
}
function askPassword(row, view) {
  var album = albums[row];
  var form = document.createElement('form');
  var input = document.createElement('input');
  input.type = 'password';
  input.id = 'album-password';
  form.appendChild(text('label', '相册密码 '));
  form.appendChild(input);
  form.appendChild(document.createTextNode(' '));
  form.appendChild(text('button', '进入相册'));
  view.appendChild(form);
  view.appendChild(text('p', '演示密码：' + album.hint, 'hint'));
  var message = view.appendChild(text('p', '', 'error'));
  form.onsubmit = function (event) {
    event.preventDefault();
    var body = new URLSearchParams({uin: uin, albumid: album.id, password: input.value});
    fetch('/cgi-bin/album_pass', {method: 'POST', body: body}).then(function (answer) {
      if (answer.ok) {
        form.remove();
        message.textContent = '';
        load(row, view);
      } else {
        message.textContent = '密码不正确，请重试。';
        input.select();
      }
    });
  };
  input.focus();
}
var myView = {
  stats: [],
  tcisdStats: function (tag) { this.stats.push(tag); },
  enter: function (row) {
    if (row < 0 || row >= albums.length) return;
    var view = document.getElementById('album');
    view.textContent = '';
    view.appendChild(text('h2', albums[row].name));
    document.getElementById('list').hidden = true;
    if (albums[row].locked) askPassword(row, view); else load(row, view);
  }
};
window.addEventListener('DOMContentLoaded', function () {
  var list = document.getElementById('list');
  albums.forEach(function (album, row) {
    var item = text('li', album.name, 'album');
    if (album.locked) item.appendChild(text('span', '加密', 'lock'));
    item.onclick = function () { myView.tcisdStats('list.ablumcover'); myView.enter(row); };
    list.appendChild(item);
  });
});
)JS";
  return Page("相册", "<script>" + script + "</script>",
              "<main><ul id=\"list\"></ul><section id=\"album\"></section></main>");
}

std::string AlbumAnswer(const Fixture& fixture, const std::string& uin, const std::string& id) {
  std::string answer = "_Callback({\"code\":0,\"data\":{\"pic\":[";
  for (const ListedPhoto& photo : AlbumPhotos(fixture, uin, id)) {
    answer += "{\"name\": " + JsonString(photo.name) +
              ", \"origin_url\": " + JsonString(photo.address) + ",},";
  }
  return answer + "]}});";
}

}  // namespace

void AddUserPageRoutes(httplib::Server& server, const Fixture& fixture) {
  server.Get(
      R"(/(\d+)/photo/)", [&fixture](const httplib::Request& request, httplib::Response& response) {
        const std::string uin = request.matches[1].str();
        const std::string host = request.get_header_value("Host");
        const std::optional<std::string> signIn = SignInPassword(fixture, uin);
        if (signIn && !HasCookie(request.get_header_value("Cookie"), SessionCookieName(),
                                 SessionCookieValue(uin))) {
          response.set_content(SignInPage(uin, *signIn, false), "text/html; charset=utf-8");
          return;
        }
        const std::string ads = "http://ads." + ServiceDomain(host) + HostPort(host) + "/ad";
        response.set_content(
            Page("Zu空间 · " + uin + " 的相册", "",
                 "<header>Zu空间 · 用户 " + uin + " 的相册</header><iframe class=\"ad\" src=\"" +
                     ads + "\"></iframe><iframe class=\"albums\" src=\"/" + uin +
                     "/photo/albums\"></iframe>"),
            "text/html; charset=utf-8");
      });
  server.Get(R"(/(\d+)/photo/albums)", [&fixture](const httplib::Request& request,
                                                  httplib::Response& response) {
    response.set_content(AlbumFrame(fixture, request.matches[1].str()), "text/html; charset=utf-8");
  });
  server.Get("/ad", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(Page("ad", "",
                              "<p style=\"margin:8px 16px;color:#6b7785\">Zu空间："
                              "照片永久保存，随时查看。</p>"),
                         "text/html; charset=utf-8");
  });
  server.Post("/signin", [&fixture](const httplib::Request& request, httplib::Response& response) {
    const std::string uin = request.get_param_value("uin");
    const std::optional<std::string> password =
        IsNumber(uin) ? SignInPassword(fixture, uin) : std::nullopt;
    if (!password) {
      response.status = 404;
      return;
    }
    if (request.get_param_value("password") != *password) {
      response.set_content(SignInPage(uin, *password, true), "text/html; charset=utf-8");
      return;
    }
    response.set_header("Set-Cookie",
                        SessionCookieName() + "=" + SessionCookieValue(uin) + "; Domain=" +
                            ServiceDomain(request.get_header_value("Host")) + "; Path=/");
    response.set_redirect("/" + uin + "/photo/", 303);
  });
  server.Post("/cgi-bin/album_pass",
              [&fixture](const httplib::Request& request, httplib::Response& response) {
                const std::string uin = request.get_param_value("uin");
                const std::string id = request.get_param_value("albumid");
                const std::optional<std::string> password =
                    IsNumber(uin) ? AlbumPassword(fixture, uin, id) : std::nullopt;
                if (!password || request.get_param_value("password") != *password) {
                  response.status = 403;
                  response.set_content("wrong password", "text/plain; charset=utf-8");
                  return;
                }
                response.set_header("Set-Cookie", AlbumCookieName(uin, id) + "=1; Path=/");
                response.set_content("ok", "text/plain; charset=utf-8");
              });
  server.Get("/cgi-bin/cgi_view_album", [&fixture](const httplib::Request& request,
                                                   httplib::Response& response) {
    const std::string uin = request.get_param_value("uin");
    const std::string id = request.get_param_value("albumid");
    const std::string type = "application/javascript; charset=utf-8";
    bool listed = false;
    bool locked = false;
    for (const ListedAlbum& album :
         IsNumber(uin) ? UserAlbums(fixture, uin) : std::vector<ListedAlbum>{}) {
      if (album.id == id) {
        listed = true;
        locked = album.locked;
        break;
      }
    }
    if (!listed) {
      response.set_content("_Callback({\"code\":-404,\"message\":\"相册不存在\"});", type);
    } else if (locked &&
               !HasCookie(request.get_header_value("Cookie"), AlbumCookieName(uin, id), "1")) {
      response.set_content("_Callback({\"code\":-403,\"message\":\"需要密码\"});", type);
    } else {
      response.set_content(AlbumAnswer(fixture, uin, id), type);
    }
  });
}
