#pragma once

// Accessibility of the custom-drawn windows under GTK 3. The drawing area of a window is a canvas
// whose accessible object (ATK, which GTK's bridge publishes over AT-SPI to screen readers) has
// one child object per visible control of the window's tree: buttons, check boxes, labels, the
// album list as a table with its column headers and one row per album. The native text entries
// are GTK's own objects; each is named by the label laid out just before its edit control.
//
// The objects never hold on to a control: a control that goes away is forgotten before it is
// freed (AccessibleControlRemoved), and everything else about a control is read from the live
// tree when the objects are asked or when the window changed (AccessibleCanvasChanged): then,
// once the loop is idle, the objects compare the tree with what they last reported and emit the
// differences as ATK events (children added and removed, state changes, names, focus).

#include <gtk/gtk.h>

#include "uilib/ui_types.h"

class CControlUI;

// A new drawing area for the window `hwnd` (whose paint manager holds the controls).
GtkWidget* NewAccessibleCanvas(HWND hwnd);
// Something in the canvas's window changed (it is drawn anew).
void AccessibleCanvasChanged(GtkWidget* canvas);
// `control` is about to be freed.
void AccessibleControlRemoved(CControlUI* control);
