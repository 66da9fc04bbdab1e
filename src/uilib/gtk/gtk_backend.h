#pragma once

// The GTK 3 back end: real windows under X11 (the program sets GDK_BACKEND=x11 before GTK starts).
// Each window is an undecorated GtkWindow holding a GtkFixed: a drawing area over the whole client
// area paints the controls and takes the mouse, and native children (text entries, the web view)
// sit over their controls' rectangles.

#include <memory>

#include "uilib/ui_backend.h"

// Starts GTK; false when there is no display. Call before anything else of this back end.
bool InitGtkBackend(int* argc, char*** argv);
std::unique_ptr<IUiBackend> CreateGtkBackend();
