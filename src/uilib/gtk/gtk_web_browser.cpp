#include "uilib/gtk/gtk_web_browser.h"

#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/code_page.h"
#include "platform/cookie_list.h"
#include "platform/url_cache.h"

namespace {

constexpr const char* kCaptureHandler = "zpCache";

// Wraps XMLHttpRequest and fetch in every frame at document start: each text answer is posted with
// its final URL.
constexpr const char* kCaptureScript = R"JS((function () {
  if (window.__zpCapture) { return; }
  window.__zpCapture = true;
  var post = function (url, body) {
    try { window.webkit.messageHandlers.zpCache.postMessage({url: String(url), body: String(body)}); }
    catch (e) {}
  };
  var open = XMLHttpRequest.prototype.open;
  XMLHttpRequest.prototype.open = function (method, url) {
    this.__zpUrl = url;
    return open.apply(this, arguments);
  };
  var send = XMLHttpRequest.prototype.send;
  XMLHttpRequest.prototype.send = function () {
    var xhr = this;
    xhr.addEventListener('load', function () {
      var type = xhr.responseType;
      if (type === '' || type === 'text') {
        post(xhr.responseURL || new URL(xhr.__zpUrl, location.href).href, xhr.responseText);
      }
    });
    return send.apply(this, arguments);
  };
  // WebKit does not hand out a subframe's document: the frame stores it itself, as parsed.
  if (window !== window.top) {
    document.addEventListener('DOMContentLoaded', function () {
      var doctype = document.doctype ? '<!DOCTYPE ' + document.doctype.name + '>' : '';
      post(location.href, doctype + document.documentElement.outerHTML);
    });
  }
  if (window.fetch) {
    var realFetch = window.fetch;
    window.fetch = function () {
      return realFetch.apply(this, arguments).then(function (response) {
        try { response.clone().text().then(function (text) { post(response.url, text); }); }
        catch (e) {}
        return response;
      });
    };
  }
})();)JS";

std::string g_dataFolder;

std::string DataFolder() {
  if (!g_dataFolder.empty()) {
    return g_dataFolder;
  }
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    return std::string(xdg) + "/zupictrove";
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "/tmp") + "/.local/share/zupictrove";
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  // Line and paragraph separators end a JavaScript string literal in older engines.
  size_t pos = 0;
  while ((pos = out.find("\xE2\x80\xA8", pos)) != std::string::npos) {
    out.replace(pos, 3, "\\u2028");
  }
  pos = 0;
  while ((pos = out.find("\xE2\x80\xA9", pos)) != std::string::npos) {
    out.replace(pos, 3, "\\u2029");
  }
  return out + "\"";
}

// One Netscape cookie-file line for a cookie of the browser.
std::string NetscapeLine(SoupCookie* cookie) {
  const std::string domain = soup_cookie_get_domain(cookie);
  GDateTime* expires = soup_cookie_get_expires(cookie);
  const long long expiry = expires != nullptr ? g_date_time_to_unix(expires) : 0;
  std::string line = soup_cookie_get_http_only(cookie) ? "#HttpOnly_" : "";
  line += domain + "\t" + (!domain.empty() && domain[0] == '.' ? "TRUE" : "FALSE") + "\t" +
          soup_cookie_get_path(cookie) + "\t" +
          (soup_cookie_get_secure(cookie) ? "TRUE" : "FALSE") + "\t" + std::to_string(expiry) +
          "\t" + soup_cookie_get_name(cookie) + "\t" + soup_cookie_get_value(cookie);
  return line;
}

void CopyCookies(WebKitCookieManager* manager) {
  webkit_cookie_manager_get_all_cookies(
      manager, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer) {
        GList* cookies = webkit_cookie_manager_get_all_cookies_finish(WEBKIT_COOKIE_MANAGER(source),
                                                                      result, nullptr);
        std::vector<std::string> lines;
        for (GList* item = cookies; item != nullptr; item = item->next) {
          lines.push_back(NetscapeLine(static_cast<SoupCookie*>(item->data)));
        }
        g_list_free_full(cookies, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
        ReplaceCookieList(std::move(lines));
      },
      nullptr);
}

// Cookies persist in our file and reach the download layer, once per process.
void SetUpCookies() {
  static bool done = false;
  if (done) {
    return;
  }
  done = true;
  WebKitWebContext* context = webkit_web_context_get_default();
  WebKitWebsiteDataManager* data = webkit_web_context_get_website_data_manager(context);
  WebKitCookieManager* cookies = webkit_website_data_manager_get_cookie_manager(data);
  const std::string folder = DataFolder();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  webkit_cookie_manager_set_persistent_storage(cookies, (folder + "/cookies.txt").c_str(),
                                               WEBKIT_COOKIE_PERSISTENT_STORAGE_TEXT);
  webkit_cookie_manager_set_accept_policy(cookies, WEBKIT_COOKIE_POLICY_ACCEPT_NO_THIRD_PARTY);
  g_signal_connect(cookies, "changed", G_CALLBACK(CopyCookies), nullptr);
  CopyCookies(cookies);
}

void StoreAnswer(const std::string& url, const std::string& body) {
  if (url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0) {
    UrlCache::Default().Store(url, body);
  }
}

class GtkWebBrowser : public IWebBrowser {
 public:
  // The web view (and WebKit's processes behind it) is made on the first navigation, and WebKit's
  // cookie store is opened once the windows are up: a window that holds a browser it has not
  // used yet opens at once. The signed-in session then reaches the download layer before the
  // user can ask for anything.
  explicit GtkWebBrowser(GtkWidget* fixed) : m_fixed(fixed) {
    g_object_add_weak_pointer(G_OBJECT(m_fixed), reinterpret_cast<gpointer*>(&m_fixed));
    g_idle_add_full(
        G_PRIORITY_LOW,
        [](gpointer) -> gboolean {
          SetUpCookies();
          return G_SOURCE_REMOVE;
        },
        nullptr, nullptr);
  }
  ~GtkWebBrowser() override {
    // The view goes with its window when that is destroyed first; the weak pointer is then null.
    if (m_view != nullptr) {
      g_object_remove_weak_pointer(G_OBJECT(m_view), reinterpret_cast<gpointer*>(&m_view));
      gtk_widget_destroy(m_view);
    }
    if (m_fixed != nullptr) {
      g_object_remove_weak_pointer(G_OBJECT(m_fixed), reinterpret_cast<gpointer*>(&m_fixed));
    }
  }

  void SetRect(const RECT& rect) override {
    m_rect = rect;
    if (m_view != nullptr) {
      Place();
    }
  }
  void SetVisible(bool visible) override {
    m_visible = visible;
    if (m_view != nullptr) {
      gtk_widget_set_visible(m_view, visible);
    }
  }

  HRESULT Navigate(const std::wstring& url) override {
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(View()), WideToUtf8(url).c_str());
    return S_OK;
  }

  // The walk runs in the page; its answer comes later, so S_OK means it was started.
  HRESULT ExecScriptInFirstReadableFrame(const std::wstring& script) override {
    const std::string walk = FirstReadableFrameScript(script);
    webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(View()), walk.c_str(),
                                        static_cast<gssize>(walk.size()), nullptr, nullptr, nullptr,
                                        nullptr, nullptr);
    return S_OK;
  }

 private:
  GtkWidget* View() {
    if (m_view != nullptr) {
      return m_view;
    }
    SetUpCookies();
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    g_signal_connect(content, (std::string("script-message-received::") + kCaptureHandler).c_str(),
                     G_CALLBACK(OnCaptured), nullptr);
    webkit_user_content_manager_register_script_message_handler(content, kCaptureHandler);
    WebKitUserScript* capture =
        webkit_user_script_new(kCaptureScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, capture);
    webkit_user_script_unref(capture);
    m_view = GTK_WIDGET(webkit_web_view_new_with_user_content_manager(content));
    g_object_add_weak_pointer(G_OBJECT(m_view), reinterpret_cast<gpointer*>(&m_view));
    g_object_unref(content);
    g_signal_connect(m_view, "resource-load-started", G_CALLBACK(OnResourceStarted), nullptr);
    if (m_fixed != nullptr) {
      gtk_fixed_put(GTK_FIXED(m_fixed), m_view, 0, 0);
    }
    Place();
    gtk_widget_set_visible(m_view, m_visible);
    return m_view;
  }

  void Place() {
    if (m_fixed == nullptr || gtk_widget_get_parent(m_view) != m_fixed) {
      return;
    }
    gtk_fixed_move(GTK_FIXED(m_fixed), m_view, m_rect.left, m_rect.top);
    gtk_widget_set_size_request(m_view, std::max(1, static_cast<int>(m_rect.right - m_rect.left)),
                                std::max(1, static_cast<int>(m_rect.bottom - m_rect.top)));
  }

  static void OnCaptured(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer) {
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_object(value)) {
      return;
    }
    JSCValue* url = jsc_value_object_get_property(value, "url");
    JSCValue* body = jsc_value_object_get_property(value, "body");
    gchar* urlText = jsc_value_to_string(url);
    gchar* bodyText = jsc_value_to_string(body);
    StoreAnswer(urlText != nullptr ? urlText : "", bodyText != nullptr ? bodyText : "");
    g_free(urlText);
    g_free(bodyText);
    g_object_unref(url);
    g_object_unref(body);
  }

  static void OnResourceStarted(WebKitWebView*, WebKitWebResource* resource, WebKitURIRequest*,
                                gpointer) {
    g_signal_connect(resource, "finished", G_CALLBACK(OnResourceFinished), nullptr);
  }

  static void OnResourceFinished(WebKitWebResource* resource, gpointer) {
    webkit_web_resource_get_data(
        resource, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer) {
          gsize length = 0;
          guchar* data = webkit_web_resource_get_data_finish(WEBKIT_WEB_RESOURCE(source), result,
                                                             &length, nullptr);
          // Answers WebKit does not hand out (XMLHttpRequest, a subframe's document) come back
          // empty, or as a lone NUL byte; the capture script stores those, and they must not
          // replace what it stored.
          const bool handedOut = data != nullptr && length > 0 && !(length == 1 && data[0] == 0);
          if (handedOut) {
            StoreAnswer(webkit_web_resource_get_uri(WEBKIT_WEB_RESOURCE(source)),
                        std::string(reinterpret_cast<const char*>(data), length));
          }
          g_free(data);
        },
        nullptr);
  }

  GtkWidget* m_fixed;
  GtkWidget* m_view = nullptr;
  RECT m_rect{0, 0, 1, 1};
  bool m_visible = true;
};

}  // namespace

std::string FirstReadableFrameScript(const std::wstring& script) {
  return "(function () {\n"
         "  var code = " +
         JsonString(WideToUtf8(script)) +
         ";\n"
         "  for (var i = 0; i < window.frames.length; i++) {\n"
         "    var frame = window.frames[i];\n"
         "    try { if (!frame.document) { continue; } } catch (e) { continue; }\n"
         "    frame.eval(code);\n"
         "    return true;\n"
         "  }\n"
         "  return false;\n"
         "})();";
}

void SetBrowserDataFolder(const std::string& folder) {
  g_dataFolder = folder;
}

std::unique_ptr<IWebBrowser> CreateGtkWebBrowser(GtkWidget* fixed) {
  return std::make_unique<GtkWebBrowser>(fixed);
}
