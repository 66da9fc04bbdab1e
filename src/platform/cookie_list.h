#pragma once

// The signed-in session of the embedded browser, shared with the download layer.
//
// The UI thread replaces the whole list whenever the browser's cookies change; every download
// takes a snapshot before its transfer. Each line is one cookie in the Netscape cookie-file form
// (an "#HttpOnly_" prefix where it applies, domain, subdomain flag, path, secure flag, expiry or 0
// for a session cookie, name, value; tab-separated).

#include <string>
#include <vector>

void ReplaceCookieList(std::vector<std::string> lines);
std::vector<std::string> CookieListSnapshot();
