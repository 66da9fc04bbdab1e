#pragma once

// The embedded web browser of the GTK back end: a WebKitWebView placed over its control.
//
// Every answer a page loads goes into the URL cache under its exact URL: documents, scripts and
// images from WebKit's resource data, and the answers of XMLHttpRequest and fetch (which WebKit
// does not hand out) from a user script in every frame that wraps both and posts URL and text to a
// message handler. The browser's cookies persist in a text file of ours, and whenever they change
// they are copied into the shared cookie list, so downloads carry the session the user signed in
// with.

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "uilib/ui_backend.h"

std::unique_ptr<IWebBrowser> CreateGtkWebBrowser(GtkWidget* fixed);

// Where the browser keeps its cookies; the default is $XDG_DATA_HOME/zupictrove (or
// ~/.local/share/zupictrove). Takes effect for the first browser made afterwards.
void SetBrowserDataFolder(const std::string& folder);

// The script that runs `script` in the first frame of the top document whose document can be read,
// in frame order; it evaluates to true when it ran.
std::string FirstReadableFrameScript(const std::wstring& script);
