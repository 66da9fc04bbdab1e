#include "uilib/gtk/gtk_backend.h"

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <map>

#include "platform/code_page.h"
#include "uilib/gtk/gtk_accessible.h"
#include "uilib/gtk/gtk_web_browser.h"
#include "uilib/paint_manager.h"
#include "uilib/render_engine.h"

namespace {

struct NativeWindow {
  HWND hwnd = nullptr;
  GtkWidget* window = nullptr;
  GtkWidget* fixed = nullptr;
  GtkWidget* canvas = nullptr;
  INativeWindowClient* client = nullptr;
  RECT rect;
  bool minimized = false;
  std::vector<RECT> shape;
};

LPARAM PackPoint(double x, double y) {
  return MAKELPARAM(static_cast<int>(x), static_cast<int>(y));
}

cairo_region_t* RegionOf(const std::vector<RECT>& shape) {
  cairo_region_t* region = cairo_region_create();
  for (const RECT& r : shape) {
    const cairo_rectangle_int_t rect{r.left, r.top, r.right - r.left, r.bottom - r.top};
    cairo_region_union_rectangle(region, &rect);
  }
  return region;
}

// The entry (and the window's canvas) are held by weak pointers: destroying the window destroys
// them with it, usually before the edit control (and so this object) goes, and the pointers are
// then null; this object touches no widget that is gone.
class GtkNativeEdit : public INativeEdit {
 public:
  GtkNativeEdit(GtkWidget* fixed, GtkWidget* canvas) : m_entry(gtk_entry_new()), m_canvas(canvas) {
    g_object_add_weak_pointer(G_OBJECT(m_entry), reinterpret_cast<gpointer*>(&m_entry));
    g_object_add_weak_pointer(G_OBJECT(m_canvas), reinterpret_cast<gpointer*>(&m_canvas));
    gtk_entry_set_has_frame(GTK_ENTRY(m_entry), FALSE);
    gtk_fixed_put(GTK_FIXED(fixed), m_entry, 0, 0);
    g_signal_connect(m_entry, "focus-in-event", G_CALLBACK(OnFocusIn), this);
    g_signal_connect(m_entry, "changed", G_CALLBACK(OnChanged), this);
    gtk_widget_show(m_entry);
  }
  ~GtkNativeEdit() override {
    if (m_canvas != nullptr) {
      g_object_remove_weak_pointer(G_OBJECT(m_canvas), reinterpret_cast<gpointer*>(&m_canvas));
    }
    if (m_entry != nullptr) {
      g_signal_handlers_disconnect_by_data(m_entry, this);
      GtkWidget* entry = m_entry;
      g_object_remove_weak_pointer(G_OBJECT(entry), reinterpret_cast<gpointer*>(&m_entry));
      m_entry = nullptr;
      gtk_widget_destroy(entry);
    }
  }
  void SetRect(const RECT& rect) override {
    if (m_entry == nullptr) {
      return;
    }
    if (GtkWidget* parent = gtk_widget_get_parent(m_entry);
        parent != nullptr && GTK_IS_FIXED(parent)) {
      gtk_fixed_move(GTK_FIXED(parent), m_entry, rect.left, rect.top);
    }
    gtk_widget_set_size_request(m_entry, std::max(1, static_cast<int>(rect.right - rect.left)),
                                std::max(1, static_cast<int>(rect.bottom - rect.top)));
  }
  void SetVisible(bool visible) override {
    if (m_entry != nullptr) {
      gtk_widget_set_visible(m_entry, visible);
    }
  }
  void SetEnabled(bool enabled) override {
    if (m_entry != nullptr) {
      gtk_widget_set_sensitive(m_entry, enabled);
    }
  }
  void SetText(const std::wstring& text) override {
    if (m_entry != nullptr) {
      // The program's own text is no change of the user's.
      g_signal_handlers_block_by_func(m_entry, reinterpret_cast<gpointer>(OnChanged), this);
      gtk_entry_set_text(GTK_ENTRY(m_entry), WideToUtf8(text).c_str());
      g_signal_handlers_unblock_by_func(m_entry, reinterpret_cast<gpointer>(OnChanged), this);
    }
  }
  std::wstring GetText() const override {
    return m_entry != nullptr ? Utf8ToWide(gtk_entry_get_text(GTK_ENTRY(m_entry))) : std::wstring();
  }
  void SetFocus() override {
    if (m_entry != nullptr && gtk_widget_is_sensitive(m_entry) && gtk_widget_get_visible(m_entry)) {
      gtk_widget_grab_focus(m_entry);
    }
  }
  // The keyboard goes to the window's canvas, where the library takes the keys.
  void KillFocus() override {
    if (m_entry != nullptr && m_canvas != nullptr && gtk_widget_has_focus(m_entry)) {
      gtk_widget_grab_focus(m_canvas);
    }
  }
  void SetFocusHandler(std::function<void()> handler) override { m_onFocus = std::move(handler); }
  void SetReadOnly(bool readOnly) override {
    if (m_entry != nullptr) {
      gtk_editable_set_editable(GTK_EDITABLE(m_entry), !readOnly);
    }
  }
  void SetChangeHandler(std::function<void()> handler) override { m_onChange = std::move(handler); }

 private:
  static void OnChanged(GtkEditable*, GtkNativeEdit* self) {
    if (self->m_onChange) {
      self->m_onChange();
    }
  }
  static gboolean OnFocusIn(GtkWidget*, GdkEvent*, GtkNativeEdit* self) {
    if (self->m_onFocus) {
      self->m_onFocus();
    }
    return FALSE;
  }

  GtkWidget* m_entry;
  GtkWidget* m_canvas;  // the window's drawing area, where keys go to the library
  std::function<void()> m_onFocus;
  std::function<void()> m_onChange;
};

class GtkBackend : public IUiBackend {
 public:
  GtkBackend() {
    // The desktop's text scale (its font resolution against 96 dots per inch) sizes every text,
    // now and whenever the desktop changes it.
    if (GdkScreen* screen = gdk_screen_get_default()) {
      FollowTextScale(screen);
      g_signal_connect(screen, "notify::resolution", G_CALLBACK(OnResolution), this);
    }
  }

  ~GtkBackend() override {
    if (GdkScreen* screen = gdk_screen_get_default()) {
      g_signal_handlers_disconnect_by_data(screen, this);
    }
    for (auto& [hwnd, native] : m_windows) {
      gtk_widget_destroy(native->window);
    }
  }

  void CreateNativeWindow(HWND hwnd, HWND parent, const RECT& rect,
                          INativeWindowClient* client) override {
    auto native = std::make_unique<NativeWindow>();
    native->hwnd = hwnd;
    native->client = client;
    native->rect = rect;
    native->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(native->window), FALSE);
    // A skinned window has the size its layout gives; only the program changes it.
    gtk_window_set_resizable(GTK_WINDOW(native->window), FALSE);
    gtk_window_move(GTK_WINDOW(native->window), rect.left, rect.top);
    gtk_window_set_default_size(GTK_WINDOW(native->window),
                                std::max(1, static_cast<int>(rect.right - rect.left)),
                                std::max(1, static_cast<int>(rect.bottom - rect.top)));
    if (NativeWindow* owner = Find(parent)) {
      gtk_window_set_transient_for(GTK_WINDOW(native->window), GTK_WINDOW(owner->window));
    }
    native->fixed = gtk_fixed_new();
    native->canvas = NewAccessibleCanvas(hwnd);
    gtk_widget_set_can_focus(native->canvas, TRUE);
    gtk_widget_add_events(native->canvas, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                              GDK_POINTER_MOTION_MASK | GDK_LEAVE_NOTIFY_MASK |
                                              GDK_SCROLL_MASK | GDK_KEY_PRESS_MASK);
    gtk_fixed_put(GTK_FIXED(native->fixed), native->canvas, 0, 0);
    gtk_widget_set_size_request(native->canvas, rect.right - rect.left, rect.bottom - rect.top);
    gtk_container_add(GTK_CONTAINER(native->window), native->fixed);
    NativeWindow* raw = native.get();
    g_signal_connect(native->canvas, "draw", G_CALLBACK(OnDraw), raw);
    g_signal_connect(native->canvas, "button-press-event", G_CALLBACK(OnButtonPress), raw);
    g_signal_connect(native->canvas, "button-release-event", G_CALLBACK(OnButtonRelease), raw);
    g_signal_connect(native->canvas, "motion-notify-event", G_CALLBACK(OnMotion), raw);
    g_signal_connect(native->canvas, "leave-notify-event", G_CALLBACK(OnLeave), raw);
    g_signal_connect(native->canvas, "scroll-event", G_CALLBACK(OnScroll), raw);
    g_signal_connect(native->window, "key-press-event", G_CALLBACK(OnKeyPress), raw);
    g_signal_connect(native->window, "delete-event", G_CALLBACK(OnDelete), raw);
    g_signal_connect(native->window, "configure-event", G_CALLBACK(OnConfigure), raw);
    g_signal_connect(native->window, "window-state-event", G_CALLBACK(OnWindowState), raw);
    g_signal_connect(native->window, "realize", G_CALLBACK(OnRealize), raw);
    gtk_widget_show_all(native->fixed);
    m_windows[hwnd] = std::move(native);
  }

  void DestroyNativeWindow(HWND hwnd) override {
    const auto it = m_windows.find(hwnd);
    if (it == m_windows.end()) {
      return;
    }
    std::unique_ptr<NativeWindow> native = std::move(it->second);
    m_windows.erase(it);
    g_signal_handlers_disconnect_by_data(native->canvas, native.get());
    g_signal_handlers_disconnect_by_data(native->window, native.get());
    gtk_widget_destroy(native->window);
  }

  void ShowNativeWindow(HWND hwnd, bool show, bool takeFocus) override {
    NativeWindow* native = Find(hwnd);
    if (native == nullptr) {
      return;
    }
    if (!show) {
      gtk_widget_hide(native->window);
      return;
    }
    gtk_window_set_accept_focus(GTK_WINDOW(native->window), takeFocus);
    gtk_widget_show(native->window);
    gtk_window_move(GTK_WINDOW(native->window), native->rect.left, native->rect.top);
    if (takeFocus) {
      gtk_window_present(GTK_WINDOW(native->window));
    }
  }

  bool IsNativeWindowVisible(HWND hwnd) const override {
    const NativeWindow* native = Find(hwnd);
    return native != nullptr && gtk_widget_get_visible(native->window);
  }

  void MoveNativeWindow(HWND hwnd, const RECT& rect) override {
    NativeWindow* native = Find(hwnd);
    if (native == nullptr) {
      return;
    }
    const bool resized = rect.right - rect.left != native->rect.right - native->rect.left ||
                         rect.bottom - rect.top != native->rect.bottom - native->rect.top;
    native->rect = rect;
    gtk_window_move(GTK_WINDOW(native->window), rect.left, rect.top);
    if (resized) {
      const int width = std::max(1, static_cast<int>(rect.right - rect.left));
      const int height = std::max(1, static_cast<int>(rect.bottom - rect.top));
      gtk_widget_set_size_request(native->canvas, width, height);
      gtk_window_resize(GTK_WINDOW(native->window), width, height);
      native->client->OnNativeMessage(WM_SIZE, 0, MAKELPARAM(width, height));
    }
  }

  RECT GetNativeWindowRect(HWND hwnd) const override {
    const NativeWindow* native = Find(hwnd);
    return native != nullptr ? native->rect : RECT{};
  }

  void InvalidateNativeWindow(HWND hwnd, const RECT& rect) override {
    NativeWindow* native = Find(hwnd);
    if (native != nullptr) {
      gtk_widget_queue_draw_area(native->canvas, rect.left, rect.top, rect.right - rect.left,
                                 rect.bottom - rect.top);
      AccessibleCanvasChanged(native->canvas);
    }
  }

  void SetNativeWindowShape(HWND hwnd, const std::vector<RECT>& shape) override {
    NativeWindow* native = Find(hwnd);
    if (native == nullptr) {
      return;
    }
    native->shape = shape;
    ApplyShape(native);
  }

  bool IsNativeWindowMinimized(HWND hwnd) const override {
    const NativeWindow* native = Find(hwnd);
    return native != nullptr && native->minimized;
  }

  void MinimizeNativeWindow(HWND hwnd) override {
    if (NativeWindow* native = Find(hwnd)) {
      gtk_window_iconify(GTK_WINDOW(native->window));
    }
  }

  void BeginMoveDrag(HWND hwnd, POINT screen) override {
    if (NativeWindow* native = Find(hwnd)) {
      gtk_window_begin_move_drag(GTK_WINDOW(native->window), 1, screen.x, screen.y,
                                 gtk_get_current_event_time());
    }
  }

  RECT GetMonitorWorkArea(HWND hwnd) const override {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = nullptr;
    const NativeWindow* native = Find(hwnd);
    if (native != nullptr && gtk_widget_get_window(native->window) != nullptr) {
      monitor = gdk_display_get_monitor_at_window(display, gtk_widget_get_window(native->window));
    }
    if (monitor == nullptr) {
      monitor = gdk_display_get_primary_monitor(display);
    }
    if (monitor == nullptr) {
      monitor = gdk_display_get_monitor(display, 0);
    }
    GdkRectangle area{0, 0, 1024, 768};
    if (monitor != nullptr) {
      gdk_monitor_get_workarea(monitor, &area);
    }
    return {area.x, area.y, area.x + area.width, area.y + area.height};
  }

  void SetNativeWindowTitle(HWND hwnd, const std::wstring& title) override {
    if (NativeWindow* native = Find(hwnd)) {
      gtk_window_set_title(GTK_WINDOW(native->window), WideToUtf8(title).c_str());
    }
  }

  void SetNativeWindowIcon(HWND hwnd, const std::string& png) override {
    NativeWindow* native = Find(hwnd);
    if (native == nullptr) {
      return;
    }
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
    if (loader == nullptr) {
      return;
    }
    const bool loaded = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(png.data()),
                                                png.size(), nullptr) &&
                        gdk_pixbuf_loader_close(loader, nullptr);
    if (GdkPixbuf* icon = loaded ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr) {
      gtk_window_set_icon(GTK_WINDOW(native->window), icon);
    }
    g_object_unref(loader);
  }

  uint64_t StartTimer(unsigned periodMs, std::function<void()> tick) override {
    auto* callback = new std::function<void()>(std::move(tick));
    return g_timeout_add_full(
        G_PRIORITY_DEFAULT, periodMs,
        [](gpointer data) -> gboolean {
          (*static_cast<std::function<void()>*>(data))();
          return G_SOURCE_CONTINUE;
        },
        callback, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
  }

  void StopTimer(uint64_t id) override { g_source_remove(static_cast<guint>(id)); }

  int RunLoop(const std::function<void()>& takePosted) override {
    m_takePosted = takePosted;
    m_exitCode = 0;
    m_quit = false;
    m_loopRunning = true;
    takePosted();  // what was posted before the loop began
    while (!m_quit) {
      gtk_main_iteration_do(TRUE);
    }
    m_loopRunning = false;
    m_takePosted = nullptr;
    return m_exitCode;
  }

  void QuitLoop(int exitCode) override {
    m_exitCode = exitCode;
    m_quit = true;
    g_main_context_wakeup(nullptr);
  }

  // Runs the loop until `done` holds or the program is asked to end.
  void RunModal(const bool* done) {
    while (!*done && !(m_loopRunning && m_quit)) {
      gtk_main_iteration_do(TRUE);
    }
  }

  // Any thread: one idle callback takes the whole batch on the UI thread.
  void WakeLoop() override {
    g_idle_add(
        [](gpointer data) -> gboolean {
          auto* self = static_cast<GtkBackend*>(data);
          if (self->m_takePosted) {
            self->m_takePosted();
          } else {
            CPaintManagerUI::DispatchPostedMessages();
          }
          return G_SOURCE_REMOVE;
        },
        this);
  }

  // Modal dialogs run in a loop of ours rather than gtk_dialog_run, so that a request to end the
  // program (QuitLoop, from a signal or a window) also ends the dialog at once.
  int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption,
                     UINT) override {
    NativeWindow* native = Find(owner);
    GtkWidget* dialog = gtk_message_dialog_new(
        native != nullptr ? GTK_WINDOW(native->window) : nullptr, GTK_DIALOG_MODAL,
        GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "%s", WideToUtf8(text).c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), WideToUtf8(caption).c_str());
    bool answered = false;
    g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog*, gint, gpointer done) {
                       *static_cast<bool*>(done) = true;
                     }),
                     &answered);
    gtk_widget_show_all(dialog);
    RunModal(&answered);
    gtk_widget_destroy(dialog);
    return 1;  // IDOK
  }

  std::optional<std::wstring> PickFolder(HWND owner, const std::wstring& title) override {
    NativeWindow* native = Find(owner);
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        WideToUtf8(title).c_str(), native != nullptr ? GTK_WINDOW(native->window) : nullptr,
        GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, nullptr, nullptr);
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
    struct Answer {
      bool given = false;
      gint response = GTK_RESPONSE_NONE;
    } answer;
    g_signal_connect(chooser, "response",
                     G_CALLBACK(+[](GtkNativeDialog*, gint response, gpointer data) {
                       auto* given = static_cast<Answer*>(data);
                       given->given = true;
                       given->response = response;
                     }),
                     &answer);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
    RunModal(&answer.given);
    std::optional<std::wstring> chosen;
    if (answer.given && answer.response == GTK_RESPONSE_ACCEPT) {
      if (gchar* path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
        chosen = Utf8ToWide(path);
        g_free(path);
      }
    }
    gtk_native_dialog_hide(GTK_NATIVE_DIALOG(chooser));
    g_object_unref(chooser);
    return chosen;
  }

  bool OpenWebPage(const std::wstring& url) override {
    GError* error = nullptr;
    const bool opened =
        gtk_show_uri_on_window(nullptr, WideToUtf8(url).c_str(), GDK_CURRENT_TIME, &error);
    g_clear_error(&error);
    return opened;
  }

  std::unique_ptr<INativeEdit> CreateNativeEdit(HWND owner) override {
    NativeWindow* native = Find(owner);
    if (native == nullptr) {
      return nullptr;
    }
    return std::make_unique<GtkNativeEdit>(native->fixed, native->canvas);
  }

  std::unique_ptr<IWebBrowser> CreateWebBrowser(HWND owner) override {
    NativeWindow* native = Find(owner);
    if (native == nullptr) {
      return nullptr;
    }
    return CreateGtkWebBrowser(native->fixed);
  }

  void ForgetControl(CControlUI* control) override { AccessibleControlRemoved(control); }

 private:
  NativeWindow* Find(HWND hwnd) {
    const auto it = m_windows.find(hwnd);
    return it == m_windows.end() ? nullptr : it->second.get();
  }
  const NativeWindow* Find(HWND hwnd) const {
    const auto it = m_windows.find(hwnd);
    return it == m_windows.end() ? nullptr : it->second.get();
  }

  // The X SHAPE extension takes a shape at any time on a realised window (a widget's shape is
  // only taken before it is mapped).
  static void ApplyShape(NativeWindow* native) {
    GdkWindow* window = gtk_widget_get_window(native->window);
    if (window == nullptr) {
      return;
    }
    if (native->shape.empty()) {
      gdk_window_shape_combine_region(window, nullptr, 0, 0);
      return;
    }
    cairo_region_t* region = RegionOf(native->shape);
    gdk_window_shape_combine_region(window, region, 0, 0);
    cairo_region_destroy(region);
  }

  static void OnRealize(GtkWidget*, NativeWindow* native) { ApplyShape(native); }

  static void FollowTextScale(GdkScreen* screen) {
    const double dpi = gdk_screen_get_resolution(screen);
    CRenderEngine::SetTextScale(dpi > 0 ? dpi / 96.0 : 1.0);
  }

  static void OnResolution(GdkScreen* screen, GParamSpec*, GtkBackend* self) {
    FollowTextScale(screen);
    for (auto& [hwnd, native] : self->m_windows) {
      gtk_widget_queue_draw(native->canvas);
    }
  }

  static gboolean OnDraw(GtkWidget*, cairo_t* cr, NativeWindow* native) {
    double x1 = 0;
    double y1 = 0;
    double x2 = 0;
    double y2 = 0;
    cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
    native->client->OnNativePaint(cr, {static_cast<int>(x1), static_cast<int>(y1),
                                       static_cast<int>(x2 + 0.999), static_cast<int>(y2 + 0.999)});
    return TRUE;
  }

  static gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, NativeWindow* native) {
    if (event->button != 1 || event->type != GDK_BUTTON_PRESS) {
      return FALSE;
    }
    gtk_widget_grab_focus(widget);
    const LRESULT hit =
        native->client->OnNativeMessage(WM_NCHITTEST, 0, PackPoint(event->x_root, event->y_root));
    if (hit == HTCAPTION) {
      gtk_window_begin_move_drag(GTK_WINDOW(native->window), 1, static_cast<int>(event->x_root),
                                 static_cast<int>(event->y_root), event->time);
      return TRUE;
    }
    native->client->OnNativeMessage(WM_LBUTTONDOWN, 0, PackPoint(event->x, event->y));
    return TRUE;
  }

  static gboolean OnButtonRelease(GtkWidget*, GdkEventButton* event, NativeWindow* native) {
    if (event->button == 1) {
      native->client->OnNativeMessage(WM_LBUTTONUP, 0, PackPoint(event->x, event->y));
    }
    return TRUE;
  }

  static gboolean OnMotion(GtkWidget*, GdkEventMotion* event, NativeWindow* native) {
    native->client->OnNativeMessage(WM_MOUSEMOVE, 0, PackPoint(event->x, event->y));
    return TRUE;
  }

  static gboolean OnLeave(GtkWidget*, GdkEventCrossing* event, NativeWindow* native) {
    native->client->OnNativeMessage(WM_MOUSELEAVE, 0, PackPoint(event->x, event->y));
    return FALSE;
  }

  static gboolean OnScroll(GtkWidget*, GdkEventScroll* event, NativeWindow* native) {
    int direction = 0;
    if (event->direction == GDK_SCROLL_DOWN) {
      direction = 1;
    } else if (event->direction == GDK_SCROLL_UP) {
      direction = -1;
    } else if (event->direction == GDK_SCROLL_SMOOTH) {
      direction = event->delta_y > 0 ? 1 : (event->delta_y < 0 ? -1 : 0);
    }
    if (direction != 0) {
      native->client->OnNativeMessage(WM_MOUSEWHEEL, static_cast<WPARAM>(direction),
                                      PackPoint(event->x, event->y));
    }
    return TRUE;
  }

  // The virtual key of a key the library handles, or 0.
  static WPARAM LibraryKey(guint keyval) {
    switch (keyval) {
      case GDK_KEY_Tab:
      case GDK_KEY_ISO_Left_Tab:
        return VK_TAB;
      case GDK_KEY_space:
        return VK_SPACE;
      case GDK_KEY_Return:
      case GDK_KEY_KP_Enter:
        return VK_RETURN;
      case GDK_KEY_Escape:
        return VK_ESCAPE;
      case GDK_KEY_Up:
      case GDK_KEY_KP_Up:
        return VK_UP;
      case GDK_KEY_Down:
      case GDK_KEY_KP_Down:
        return VK_DOWN;
      case GDK_KEY_Page_Up:
      case GDK_KEY_KP_Page_Up:
        return VK_PRIOR;
      case GDK_KEY_Page_Down:
      case GDK_KEY_KP_Page_Down:
        return VK_NEXT;
      case GDK_KEY_Home:
      case GDK_KEY_KP_Home:
        return VK_HOME;
      case GDK_KEY_End:
      case GDK_KEY_KP_End:
        return VK_END;
      default:
        return 0;
    }
  }

  static gboolean OnKeyPress(GtkWidget* window, GdkEventKey* event, NativeWindow* native) {
    if ((event->state & GDK_MOD1_MASK) != 0 && event->keyval == GDK_KEY_F4) {
      native->client->OnNativeMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
      return TRUE;
    }
    if ((event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) != 0) {
      return FALSE;
    }
    const WPARAM key = LibraryKey(event->keyval);
    if (key == 0) {
      return FALSE;
    }
    // Keys typed into a native child (a text entry, the web page) are that child's, but Tab and
    // Enter in a text entry go to the library (one focus chain over native and drawn controls,
    // the default action of the field), and Escape is the window's wherever the keyboard is.
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
    if (focus != nullptr && focus != native->canvas && key != VK_ESCAPE &&
        !(GTK_IS_ENTRY(focus) && (key == VK_TAB || key == VK_RETURN))) {
      return FALSE;
    }
    const bool shift =
        (event->state & GDK_SHIFT_MASK) != 0 || event->keyval == GDK_KEY_ISO_Left_Tab;
    native->client->OnNativeMessage(WM_KEYDOWN, key, shift ? kKeyShiftDown : 0);
    return TRUE;
  }

  // The window manager's close (Alt+F4, the title bar's button) is the system close command.
  static gboolean OnDelete(GtkWidget*, GdkEvent*, NativeWindow* native) {
    native->client->OnNativeMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    return TRUE;
  }

  static gboolean OnConfigure(GtkWidget*, GdkEventConfigure* event, NativeWindow* native) {
    const bool resized = event->width != native->rect.right - native->rect.left ||
                         event->height != native->rect.bottom - native->rect.top;
    native->rect = {event->x, event->y, event->x + event->width, event->y + event->height};
    if (resized) {
      gtk_widget_set_size_request(native->canvas, event->width, event->height);
      native->client->OnNativeMessage(WM_SIZE, 0, MAKELPARAM(event->width, event->height));
    }
    return FALSE;
  }

  static gboolean OnWindowState(GtkWidget*, GdkEventWindowState* event, NativeWindow* native) {
    native->minimized = (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
    return FALSE;
  }

  std::map<HWND, std::unique_ptr<NativeWindow>> m_windows;
  std::function<void()> m_takePosted;
  int m_exitCode = 0;
  bool m_quit = false;
  bool m_loopRunning = false;  // RunLoop is running: a quit also ends a modal dialog
};

}  // namespace

bool InitGtkBackend(int* argc, char*** argv) {
  setenv("GDK_BACKEND", "x11", 0);
  return gtk_init_check(argc, argv) != FALSE;
}

std::unique_ptr<IUiBackend> CreateGtkBackend() {
  return std::make_unique<GtkBackend>();
}
