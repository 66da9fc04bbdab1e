#include "uilib/gtk/gtk_accessible.h"

#include <gtk/gtk-a11y.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/code_page.h"
#include "uilib/paint_manager.h"
#include "uilib/ui_activex.h"
#include "uilib/ui_button.h"
#include "uilib/ui_container.h"
#include "uilib/ui_edit.h"
#include "uilib/ui_label.h"
#include "uilib/ui_list.h"

namespace {

struct WindowTree;

// What an accessible object knows of its control, and what it last reported about it.
struct Node {
  AtkObject* self = nullptr;
  CControlUI* control = nullptr;  // null for the canvas itself, and once the control is gone
  WindowTree* tree = nullptr;     // null once the control or the window is gone
  AtkObject* parent = nullptr;    // weak: cleared when the parent object goes
  AtkRole role = ATK_ROLE_UNKNOWN;
  std::string name;
  uint64_t states = 0;
  std::vector<AtkObject*> children;  // one reference each, in the order reported
  bool childrenKnown = false;
};

// The accessible side of one window. The canvas's own node has the root control as its child.
struct WindowTree {
  GtkWidget* canvas = nullptr;  // weak
  HWND hwnd = nullptr;
  Node root;
  AtkObject* reportedFocus = nullptr;  // weak: the object last reported as focused
  guint syncSource = 0;

  CPaintManagerUI* Manager() const { return CPaintManagerUI::FromWindow(hwnd); }
};

// After the window has been drawn (GTK redraws at a higher priority), so that the controls have
// their places, and after GTK has reported the canvas itself as focused.
constexpr int kSyncPriority = G_PRIORITY_DEFAULT_IDLE + 10;

// The states that change while an object lives and are reported when they do.
constexpr AtkStateType kReportedStates[] = {
    ATK_STATE_ENABLED,   ATK_STATE_SENSITIVE, ATK_STATE_VISIBLE, ATK_STATE_SHOWING,
    ATK_STATE_FOCUSABLE, ATK_STATE_FOCUSED,   ATK_STATE_CHECKED,
};

uint64_t Bit(AtkStateType state) {
  return uint64_t{1} << static_cast<unsigned>(state);
}

}  // namespace

// GObject types. The canvas is a drawing area whose accessible object is a widget accessible with
// the controls as its children; each control's object is of the type whose ATK interfaces fit it.

struct ZpCanvas {
  GtkDrawingArea parent;
  HWND hwnd;
  WindowTree* tree;  // while the canvas's accessible object has one
};
struct ZpCanvasClass {
  GtkDrawingAreaClass parent_class;
};

struct ZpCanvasAccessible {
  GtkWidgetAccessible parent;
  WindowTree* tree;
};
struct ZpCanvasAccessibleClass {
  GtkWidgetAccessibleClass parent_class;
};

struct ZpControlAccessible {
  AtkObject parent;
  Node* node;
};
struct ZpControlAccessibleClass {
  AtkObjectClass parent_class;
};
// Buttons and options (AtkAction), lists (AtkTable) and the cells of list rows (AtkTableCell).
using ZpActionAccessible = ZpControlAccessible;
using ZpActionAccessibleClass = ZpControlAccessibleClass;
using ZpTableAccessible = ZpControlAccessible;
using ZpTableAccessibleClass = ZpControlAccessibleClass;
using ZpCellAccessible = ZpControlAccessible;
using ZpCellAccessibleClass = ZpControlAccessibleClass;

namespace {

void ComponentInit(AtkComponentIface* iface);
void ActionInit(AtkActionIface* iface);
void TableInit(AtkTableIface* iface);
void TableCellInit(AtkTableCellIface* iface);

}  // namespace

G_DEFINE_TYPE(ZpCanvasAccessible, zp_canvas_accessible, GTK_TYPE_WIDGET_ACCESSIBLE)
G_DEFINE_TYPE(ZpCanvas, zp_canvas, GTK_TYPE_DRAWING_AREA)
G_DEFINE_TYPE_WITH_CODE(ZpControlAccessible, zp_control_accessible, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, ComponentInit))
G_DEFINE_TYPE_WITH_CODE(ZpActionAccessible, zp_action_accessible, zp_control_accessible_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, ActionInit))
G_DEFINE_TYPE_WITH_CODE(ZpTableAccessible, zp_table_accessible, zp_control_accessible_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_TABLE, TableInit))
G_DEFINE_TYPE_WITH_CODE(ZpCellAccessible, zp_cell_accessible, zp_control_accessible_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_TABLE_CELL, TableCellInit))

namespace {

// Objects by control, while the control lives and its object is attached to it. Left to the end
// of the process: controls may still go away while static objects are destroyed.
std::unordered_map<const CControlUI*, AtkObject*>& Registry() {
  static auto* registry = new std::unordered_map<const CControlUI*, AtkObject*>;
  return *registry;
}

ZpCanvas* AsCanvas(gpointer widget) {
  return G_TYPE_CHECK_INSTANCE_TYPE(widget, zp_canvas_get_type()) ? static_cast<ZpCanvas*>(widget)
                                                                  : nullptr;
}

Node* NodeOf(AtkObject* object) {
  if (object == nullptr) {
    return nullptr;
  }
  if (G_TYPE_CHECK_INSTANCE_TYPE(object, zp_control_accessible_get_type())) {
    return reinterpret_cast<ZpControlAccessible*>(object)->node;
  }
  if (G_TYPE_CHECK_INSTANCE_TYPE(object, zp_canvas_accessible_get_type())) {
    WindowTree* tree = reinterpret_cast<ZpCanvasAccessible*>(object)->tree;
    return tree != nullptr ? &tree->root : nullptr;
  }
  return nullptr;
}

Node* NodeOf(gpointer object) {
  return NodeOf(static_cast<AtkObject*>(object));
}

bool IsCanvasNode(const Node* node) {
  return node->tree != nullptr && node == &node->tree->root;
}

// Points `*slot` at `object` (a GObject) until that object goes.
template <typename T>
void SetWeak(T** slot, T* object) {
  if (*slot == object) {
    return;
  }
  if (*slot != nullptr) {
    g_object_remove_weak_pointer(G_OBJECT(*slot), reinterpret_cast<gpointer*>(slot));
  }
  *slot = object;
  if (object != nullptr) {
    g_object_add_weak_pointer(G_OBJECT(object), reinterpret_cast<gpointer*>(slot));
  }
}

int IndexOf(const std::vector<AtkObject*>& objects, const AtkObject* object) {
  const auto it = std::find(objects.begin(), objects.end(), object);
  return it == objects.end() ? -1 : static_cast<int>(it - objects.begin());
}

// ---- The control tree as assistive technologies see it ----

// Edit controls are represented by their native entries, ActiveX controls by the web view.
bool IsExposed(CControlUI* control) {
  return dynamic_cast<CEditUI*>(control) == nullptr &&
         dynamic_cast<CActiveXUI*>(control) == nullptr;
}

// The visible children of a control that have objects. A list's header and body are parts of
// its table: the table's children are the column headers, then the rows.
std::vector<CControlUI*> ChildControls(CControlUI* control) {
  std::vector<CControlUI*> children;
  const auto add = [&children](CControlUI* child) {
    if (child != nullptr && child->IsVisible() && IsExposed(child)) {
      children.push_back(child);
    }
  };
  if (auto* list = dynamic_cast<CListUI*>(control)) {
    CListHeaderUI* header = list->GetHeader();
    if (header != nullptr && header->IsVisible()) {
      for (int i = 0; i < header->GetCount(); ++i) {
        add(header->GetItemAt(i));
      }
    }
    for (int i = 0; i < list->GetCount(); ++i) {
      add(list->GetItemAt(i));
    }
    return children;
  }
  if (auto* container = dynamic_cast<CContainerUI*>(control)) {
    for (int i = 0; i < container->GetCount(); ++i) {
      add(container->GetItemAt(i));
    }
  }
  return children;
}

std::vector<CControlUI*> ExposedChildren(const Node* node) {
  if (node->control != nullptr) {
    return ChildControls(node->control);
  }
  if (!IsCanvasNode(node)) {
    return {};
  }
  CPaintManagerUI* manager = node->tree->Manager();
  CControlUI* root = manager != nullptr ? manager->GetRoot() : nullptr;
  if (root == nullptr || !root->IsVisible() || !IsExposed(root)) {
    return {};
  }
  return {root};
}

bool IsTextLabel(CControlUI* control) {
  return dynamic_cast<CLabelUI*>(control) != nullptr &&
         dynamic_cast<CButtonUI*>(control) == nullptr;
}

bool IsRow(CControlUI* control) {
  return dynamic_cast<IListItemUI*>(control) != nullptr;
}

AtkRole RoleOf(CControlUI* control) {
  if (auto* option = dynamic_cast<COptionUI*>(control)) {
    return option->GetGroup().empty() ? ATK_ROLE_CHECK_BOX : ATK_ROLE_RADIO_BUTTON;
  }
  if (dynamic_cast<CButtonUI*>(control) != nullptr) {
    return ATK_ROLE_PUSH_BUTTON;
  }
  if (control->GetParent() != nullptr && IsRow(control->GetParent())) {
    return ATK_ROLE_TABLE_CELL;  // a row's child fills one column
  }
  if (dynamic_cast<CListHeaderItemUI*>(control) != nullptr) {
    return ATK_ROLE_TABLE_COLUMN_HEADER;
  }
  if (dynamic_cast<CLabelUI*>(control) != nullptr) {
    return ATK_ROLE_LABEL;
  }
  if (dynamic_cast<CListUI*>(control) != nullptr) {
    return ATK_ROLE_TABLE;
  }
  if (IsRow(control)) {
    return ATK_ROLE_TABLE_ROW;
  }
  return ATK_ROLE_FILLER;  // layouts and plain rectangles
}

GType TypeFor(AtkRole role) {
  switch (role) {
    case ATK_ROLE_PUSH_BUTTON:
    case ATK_ROLE_CHECK_BOX:
    case ATK_ROLE_RADIO_BUTTON:
      return zp_action_accessible_get_type();
    case ATK_ROLE_TABLE:
      return zp_table_accessible_get_type();
    case ATK_ROLE_TABLE_CELL:
      return zp_cell_accessible_get_type();
    default:
      return zp_control_accessible_get_type();
  }
}

// The texts of the visible labels in and under `control`, separated by spaces.
void CollectTexts(CControlUI* control, std::string* out) {
  if (IsTextLabel(control)) {
    const std::string text = WideToUtf8(control->GetText());
    if (!text.empty()) {
      if (!out->empty()) {
        out->push_back(' ');
      }
      out->append(text);
    }
  }
  for (CControlUI* child : ChildControls(control)) {
    CollectTexts(child, out);
  }
}

std::string NameOf(CControlUI* control, AtkRole role) {
  std::string name;
  switch (role) {
    case ATK_ROLE_PUSH_BUTTON:
    case ATK_ROLE_CHECK_BOX:
    case ATK_ROLE_RADIO_BUTTON:
      name = WideToUtf8(control->GetText());
      // A tick without a text in a list row stands for the row: it is named by the row's texts.
      for (CControlUI* up = control->GetParent(); name.empty() && up != nullptr;
           up = up->GetParent()) {
        if (IsRow(up)) {
          CollectTexts(up, &name);
        }
      }
      break;
    case ATK_ROLE_LABEL:
    case ATK_ROLE_TABLE_COLUMN_HEADER:
      name = WideToUtf8(control->GetText());
      break;
    case ATK_ROLE_TABLE_CELL:
    case ATK_ROLE_TABLE_ROW:
      CollectTexts(control, &name);
      break;
    default:
      break;
  }
  return name;
}

bool VisibleInTree(CControlUI* control) {
  for (CControlUI* c = control; c != nullptr; c = c->GetParent()) {
    if (!c->IsVisible()) {
      return false;
    }
  }
  return true;
}

// The control's rectangle as far as its ancestors leave it on screen (a list clips its rows).
CRect ShownRect(CControlUI* control) {
  CRect rect = control->GetPos();
  for (CControlUI* up = control->GetParent(); up != nullptr; up = up->GetParent()) {
    rect = rect.Intersect(up->GetPos());
  }
  return rect;
}

uint64_t StatesOf(const Node* node) {
  CControlUI* control = node->control;
  if (control == nullptr || node->tree == nullptr) {
    return Bit(ATK_STATE_DEFUNCT);
  }
  uint64_t states = 0;
  if (control->IsEnabled()) {
    states |= Bit(ATK_STATE_ENABLED) | Bit(ATK_STATE_SENSITIVE);
  }
  if (VisibleInTree(control)) {
    states |= Bit(ATK_STATE_VISIBLE);
    if (gtk_widget_get_mapped(node->tree->canvas) && !ShownRect(control).IsEmpty()) {
      states |= Bit(ATK_STATE_SHOWING);
    }
  }
  if (control->IsFocusable()) {
    states |= Bit(ATK_STATE_FOCUSABLE);
    CPaintManagerUI* manager = control->GetManager();
    if (manager != nullptr && manager->GetFocus() == control &&
        gtk_widget_has_focus(node->tree->canvas)) {
      states |= Bit(ATK_STATE_FOCUSED);
    }
  }
  if (auto* option = dynamic_cast<COptionUI*>(control)) {
    states |= Bit(ATK_STATE_CHECKABLE);
    if (option->IsSelected()) {
      states |= Bit(ATK_STATE_CHECKED);
    }
  }
  return states;
}

// ---- Objects and their lifetimes ----

void ReleaseChildren(Node* node) {
  std::vector<AtkObject*> children;
  children.swap(node->children);
  node->childrenKnown = false;
  for (AtkObject* child : children) {
    g_object_unref(child);
  }
}

// The object's control (or its window) is gone: it stays, defunct, for whoever holds it.
void Forget(Node* node) {
  if (node->control != nullptr) {
    auto& registry = Registry();
    const auto it = registry.find(node->control);
    if (it != registry.end() && it->second == node->self) {
      registry.erase(it);
    }
    node->control = nullptr;
  }
  node->tree = nullptr;
  ReleaseChildren(node);
}

AtkObject* NewAccessible(CControlUI* control, Node* parent) {
  const AtkRole role = RoleOf(control);
  AtkObject* object = ATK_OBJECT(g_object_new(TypeFor(role), nullptr));
  Node* node = NodeOf(object);
  node->control = control;
  node->tree = parent->tree;
  node->role = role;
  object->role = role;
  node->name = NameOf(control, role);
  node->states = StatesOf(node);
  SetWeak(&node->parent, parent->self);
  if (!control->GetName().empty()) {
    atk_object_set_accessible_id(object, WideToUtf8(control->GetName()).c_str());
  }
  Registry()[control] = object;
  return object;
}

// A reference to the object of `control`, a child of `parent`'s object; made when there is none.
AtkObject* Acquire(CControlUI* control, Node* parent) {
  const auto it = Registry().find(control);
  if (it == Registry().end()) {
    return NewAccessible(control, parent);
  }
  SetWeak(&NodeOf(it->second)->parent, parent->self);
  return ATK_OBJECT(g_object_ref(it->second));
}

void EnsureChildren(Node* node) {
  if (node->childrenKnown) {
    return;
  }
  node->childrenKnown = true;
  for (CControlUI* child : ExposedChildren(node)) {
    node->children.push_back(Acquire(child, node));
  }
}

// The object of `control` in the window's tree (made along the way), or null when it has none.
AtkObject* Reach(WindowTree* tree, CControlUI* control) {
  std::vector<CControlUI*> chain;
  for (CControlUI* c = control; c != nullptr; c = c->GetParent()) {
    chain.push_back(c);
  }
  Node* node = &tree->root;
  for (;;) {
    EnsureChildren(node);
    Node* next = nullptr;
    for (AtkObject* child : node->children) {
      Node* candidate = NodeOf(child);
      if (candidate->control != nullptr &&
          std::find(chain.begin(), chain.end(), candidate->control) != chain.end()) {
        next = candidate;
        break;
      }
    }
    if (next == nullptr) {
      return nullptr;
    }
    if (next->control == control) {
      return next->self;
    }
    node = next;
  }
}

// ---- Catching up with the control tree ----

void RemoveChildAt(Node* node, size_t index) {
  AtkObject* child = node->children[index];
  node->children.erase(node->children.begin() + static_cast<std::ptrdiff_t>(index));
  g_signal_emit_by_name(node->self, "children-changed::remove", static_cast<guint>(index), child);
  if (NodeOf(child)->control == nullptr) {
    atk_object_notify_state_change(child, ATK_STATE_DEFUNCT, TRUE);
  }
  g_object_unref(child);
}

void SyncChildren(Node* node) {
  const std::vector<CControlUI*> live = ExposedChildren(node);
  std::vector<AtkObject*>& children = node->children;
  // The objects that stay: those of live controls already reported, in the live order.
  std::vector<AtkObject*> kept;
  for (CControlUI* control : live) {
    const auto it = Registry().find(control);
    if (it != Registry().end() && IndexOf(children, it->second) >= 0) {
      kept.push_back(it->second);
    }
  }
  for (size_t i = children.size(); i-- > 0;) {
    if (IndexOf(kept, children[i]) < 0) {
      RemoveChildAt(node, i);
    }
  }
  if (children != kept) {  // moved around: reported as removed and added again
    for (size_t i = children.size(); i-- > 0;) {
      RemoveChildAt(node, i);
    }
  }
  for (size_t i = 0; i < live.size(); ++i) {
    if (i < children.size() && NodeOf(children[i])->control == live[i]) {
      continue;
    }
    AtkObject* child = Acquire(live[i], node);
    children.insert(children.begin() + static_cast<std::ptrdiff_t>(i), child);
    g_signal_emit_by_name(node->self, "children-changed::add", static_cast<guint>(i), child);
  }
}

// Reports what changed about the object and its known descendants since the last time. Focus
// gained is reported once the whole tree is up to date.
void SyncNode(Node* node) {
  if (node->control != nullptr) {
    std::string name = NameOf(node->control, node->role);
    if (name != node->name) {
      node->name = std::move(name);
      g_object_notify(G_OBJECT(node->self), "accessible-name");
    }
    const uint64_t states = StatesOf(node);
    const uint64_t changed = states ^ node->states;
    node->states = states;
    for (AtkStateType state : kReportedStates) {
      const bool on = (states & Bit(state)) != 0;
      if ((changed & Bit(state)) != 0 && !(state == ATK_STATE_FOCUSED && on)) {
        atk_object_notify_state_change(node->self, state, on);
      }
    }
  } else if (!IsCanvasNode(node)) {
    return;
  }
  if (!node->childrenKnown) {
    return;
  }
  SyncChildren(node);
  std::vector<AtkObject*> children = node->children;
  for (AtkObject* child : children) {
    g_object_ref(child);
  }
  for (AtkObject* child : children) {
    SyncNode(NodeOf(child));
    g_object_unref(child);
  }
}

void ReportFocus(WindowTree* tree) {
  CPaintManagerUI* manager = tree->Manager();
  CControlUI* focus = manager != nullptr ? manager->GetFocus() : nullptr;
  AtkObject* object = nullptr;
  if (focus != nullptr && gtk_widget_has_focus(tree->canvas)) {
    object = Reach(tree, focus);
  }
  if (object == tree->reportedFocus) {
    return;
  }
  SetWeak(&tree->reportedFocus, object);
  if (object != nullptr) {
    atk_object_notify_state_change(object, ATK_STATE_FOCUSED, TRUE);
    g_signal_emit_by_name(object, "focus-event", TRUE);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    atk_focus_tracker_notify(object);
    G_GNUC_END_IGNORE_DEPRECATIONS
  }
}

// The visible label laid out just before `edit` in its container, or null.
CControlUI* LabelBefore(CControlUI* edit) {
  auto* container = dynamic_cast<CContainerUI*>(edit->GetParent());
  if (container == nullptr) {
    return nullptr;
  }
  int index = container->GetCount();
  while (index > 0 && container->GetItemAt(index - 1) != edit) {
    --index;
  }
  for (int i = index - 2; i >= 0; --i) {
    CControlUI* item = container->GetItemAt(i);
    if (item->IsVisible()) {
      return IsTextLabel(item) ? item : nullptr;
    }
  }
  return nullptr;
}

// The native entry the back end keeps over `rect` (client coordinates), among the canvas's
// siblings.
GtkWidget* EntryOver(GtkWidget* canvas, const CRect& rect) {
  GtkWidget* holder = gtk_widget_get_parent(canvas);
  if (!GTK_IS_FIXED(holder)) {
    return nullptr;
  }
  GtkWidget* found = nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(holder));
  for (GList* item = children; item != nullptr && found == nullptr; item = item->next) {
    GtkWidget* child = GTK_WIDGET(item->data);
    if (!GTK_IS_ENTRY(child) || !gtk_widget_get_visible(child)) {
      continue;
    }
    int x = 0;
    int y = 0;
    gtk_container_child_get(GTK_CONTAINER(holder), child, "x", &x, "y", &y, nullptr);
    if (rect.Contains({x, y})) {
      found = child;
    }
  }
  g_list_free(children);
  return found;
}

// Adds the relation unless it is there already (the entries are labelled at every catch-up).
void Relate(AtkObject* from, AtkRelationType type, AtkObject* to) {
  AtkRelationSet* relations = atk_object_ref_relation_set(from);
  const bool known = atk_relation_set_contains_target(relations, type, to);
  g_object_unref(relations);
  if (!known) {
    atk_object_add_relationship(from, type, to);
  }
}

// Each native entry is named by the label before its edit control, and related to it.
void LabelEntries(WindowTree* tree) {
  CPaintManagerUI* manager = tree->Manager();
  if (manager == nullptr) {
    return;
  }
  std::vector<CControlUI*> edits;
  manager->ForEachControl([&edits](CControlUI* control) {
    if (dynamic_cast<CEditUI*>(control) != nullptr) {
      edits.push_back(control);
    }
  });
  for (CControlUI* edit : edits) {
    if (!VisibleInTree(edit) || edit->GetPos().IsEmpty()) {
      continue;
    }
    CControlUI* label = LabelBefore(edit);
    GtkWidget* entry = label != nullptr ? EntryOver(tree->canvas, edit->GetPos()) : nullptr;
    if (entry == nullptr) {
      continue;
    }
    AtkObject* entryObject = gtk_widget_get_accessible(entry);
    const std::string text = WideToUtf8(label->GetText());
    const char* name = atk_object_get_name(entryObject);
    if (name == nullptr || text != name) {
      atk_object_set_name(entryObject, text.c_str());
    }
    if (AtkObject* labelObject = Reach(tree, label)) {
      Relate(entryObject, ATK_RELATION_LABELLED_BY, labelObject);
      Relate(labelObject, ATK_RELATION_LABEL_FOR, entryObject);
    }
  }
}

void Sync(WindowTree* tree) {
  if (tree->Manager() == nullptr) {
    return;
  }
  SyncNode(&tree->root);
  ReportFocus(tree);
  LabelEntries(tree);
}

gboolean SyncWhenIdle(gpointer data) {
  auto* tree = static_cast<WindowTree*>(data);
  tree->syncSource = 0;
  Sync(tree);
  return G_SOURCE_REMOVE;
}

void ScheduleSync(WindowTree* tree) {
  if (tree->syncSource == 0) {
    tree->syncSource = g_idle_add_full(kSyncPriority, SyncWhenIdle, tree, nullptr);
  }
}

// The canvas is going: every object of its window lets go of its control.
void TearDown(ZpCanvasAccessible* canvasObject) {
  WindowTree* tree = canvasObject->tree;
  if (tree == nullptr) {
    return;
  }
  canvasObject->tree = nullptr;
  if (tree->syncSource != 0) {
    g_source_remove(tree->syncSource);
  }
  if (ZpCanvas* canvas = AsCanvas(tree->canvas)) {
    canvas->tree = nullptr;
  }
  std::vector<AtkObject*> objects;
  for (const auto& [control, object] : Registry()) {
    if (NodeOf(object)->tree == tree) {
      objects.push_back(ATK_OBJECT(g_object_ref(object)));
    }
  }
  for (AtkObject* object : objects) {
    Forget(NodeOf(object));
  }
  for (AtkObject* object : objects) {
    g_object_unref(object);
  }
  ReleaseChildren(&tree->root);
  SetWeak<AtkObject>(&tree->reportedFocus, nullptr);
  SetWeak<GtkWidget>(&tree->canvas, nullptr);
  delete tree;
}

// ---- AtkObject ----

gint GetNChildren(AtkObject* object) {
  Node* node = NodeOf(object);
  if (node == nullptr) {
    return 0;
  }
  EnsureChildren(node);
  return static_cast<gint>(node->children.size());
}

AtkObject* RefChild(AtkObject* object, gint index) {
  Node* node = NodeOf(object);
  if (node == nullptr || index < 0) {
    return nullptr;
  }
  EnsureChildren(node);
  if (static_cast<size_t>(index) >= node->children.size()) {
    return nullptr;
  }
  return ATK_OBJECT(g_object_ref(node->children[static_cast<size_t>(index)]));
}

const gchar* GetName(AtkObject* object) {
  return NodeOf(object)->name.c_str();
}

AtkObject* GetParent(AtkObject* object) {
  return NodeOf(object)->parent;
}

gint GetIndexInParent(AtkObject* object) {
  const Node* parent = NodeOf(NodeOf(object)->parent);
  return parent != nullptr ? IndexOf(parent->children, object) : -1;
}

AtkStateSet* RefStateSet(AtkObject* object) {
  AtkStateSet* set = atk_state_set_new();
  const uint64_t states = StatesOf(NodeOf(object));
  for (unsigned state = 0; state < 64; ++state) {
    if ((states & (uint64_t{1} << state)) != 0) {
      atk_state_set_add_state(set, static_cast<AtkStateType>(state));
    }
  }
  return set;
}

// ---- AtkComponent ----

// The control's rectangle on the screen; false when it has none.
bool ScreenRect(const Node* node, CRect* rect) {
  if (node->control == nullptr || node->tree == nullptr) {
    return false;
  }
  GdkWindow* window = gtk_widget_get_window(node->tree->canvas);
  if (window == nullptr) {
    return false;
  }
  int x = 0;
  int y = 0;
  gdk_window_get_origin(window, &x, &y);
  *rect = node->control->GetPos();
  rect->Offset(x, y);
  return true;
}

void GetExtents(AtkComponent* component, gint* x, gint* y, gint* width, gint* height,
                AtkCoordType coords) {
  *x = *y = *width = *height = -1;
  const Node* node = NodeOf(component);
  CRect rect;
  if (!ScreenRect(node, &rect)) {
    return;
  }
  int originX = 0;
  int originY = 0;
  if (coords == ATK_XY_WINDOW) {
    GtkWidget* toplevel = gtk_widget_get_toplevel(node->tree->canvas);
    if (GdkWindow* window = gtk_widget_get_window(toplevel)) {
      gdk_window_get_origin(window, &originX, &originY);
    }
  } else if (coords == ATK_XY_PARENT && node->parent != nullptr && ATK_IS_COMPONENT(node->parent)) {
    int parentWidth = 0;
    int parentHeight = 0;
    atk_component_get_extents(ATK_COMPONENT(node->parent), &originX, &originY, &parentWidth,
                              &parentHeight, ATK_XY_SCREEN);
  }
  *x = rect.left - originX;
  *y = rect.top - originY;
  *width = rect.GetWidth();
  *height = rect.GetHeight();
}

gboolean GrabFocus(AtkComponent* component) {
  const Node* node = NodeOf(component);
  if (node->control == nullptr || node->tree == nullptr || !node->control->IsFocusable()) {
    return FALSE;
  }
  gtk_widget_grab_focus(node->tree->canvas);
  GtkWidget* toplevel = gtk_widget_get_toplevel(node->tree->canvas);
  if (gtk_widget_is_toplevel(toplevel)) {
    gtk_window_present_with_time(GTK_WINDOW(toplevel), gtk_get_current_event_time());
  }
  node->control->SetFocus();
  return TRUE;
}

AtkLayer GetLayer(AtkComponent*) {
  return ATK_LAYER_WIDGET;
}

void ComponentInit(AtkComponentIface* iface) {
  iface->get_extents = GetExtents;
  iface->grab_focus = GrabFocus;
  iface->get_layer = GetLayer;
}

// ---- AtkAction: "click", as a click of the mouse does it ----

// Later, from the loop: a click may open a dialog with a loop of its own, and the caller waits.
gboolean RunClick(gpointer data) {
  const Node* node = NodeOf(data);
  if (node != nullptr && node->control != nullptr && node->control->IsEnabled()) {
    node->control->Activate();
  }
  return G_SOURCE_REMOVE;
}

gboolean DoAction(AtkAction* action, gint index) {
  const Node* node = NodeOf(action);
  if (index != 0 || node->control == nullptr || !node->control->IsEnabled()) {
    return FALSE;
  }
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, RunClick, g_object_ref(action), g_object_unref);
  return TRUE;
}

gint GetNActions(AtkAction*) {
  return 1;
}

const gchar* GetActionName(AtkAction*, gint index) {
  return index == 0 ? "click" : nullptr;
}

const gchar* GetActionDescription(AtkAction* action, gint index) {
  if (index != 0) {
    return nullptr;
  }
  return NodeOf(action)->role == ATK_ROLE_PUSH_BUTTON ? "Clicks the button"
                                                      : "Toggles the check box";
}

void ActionInit(AtkActionIface* iface) {
  iface->do_action = DoAction;
  iface->get_n_actions = GetNActions;
  iface->get_name = GetActionName;
  iface->get_localized_name = GetActionName;
  iface->get_description = GetActionDescription;
}

// ---- AtkTable: the column headers come first among the table's children, then the rows ----

int HeaderCount(const Node* table) {
  int count = 0;
  for (AtkObject* child : table->children) {
    if (NodeOf(child)->role != ATK_ROLE_TABLE_COLUMN_HEADER) {
      break;
    }
    ++count;
  }
  return count;
}

Node* TableNode(AtkTable* table) {
  Node* node = NodeOf(table);
  EnsureChildren(node);
  return node;
}

gint GetNColumns(AtkTable* table) {
  return HeaderCount(TableNode(table));
}

gint GetNRows(AtkTable* table) {
  const Node* node = TableNode(table);
  return static_cast<gint>(node->children.size()) - HeaderCount(node);
}

// The row object at `row`, or null.
Node* RowNode(AtkTable* table, gint row) {
  const Node* node = TableNode(table);
  const int index = HeaderCount(node) + row;
  if (row < 0 || index >= static_cast<int>(node->children.size())) {
    return nullptr;
  }
  return NodeOf(node->children[static_cast<size_t>(index)]);
}

AtkObject* RefAt(AtkTable* table, gint row, gint column) {
  Node* rowNode = RowNode(table, row);
  if (rowNode == nullptr || column < 0) {
    return nullptr;
  }
  EnsureChildren(rowNode);
  if (static_cast<size_t>(column) >= rowNode->children.size()) {
    return nullptr;
  }
  return ATK_OBJECT(g_object_ref(rowNode->children[static_cast<size_t>(column)]));
}

// Cells are numbered row by row.
gint GetIndexAt(AtkTable* table, gint row, gint column) {
  const gint columns = GetNColumns(table);
  if (row < 0 || column < 0 || column >= columns || row >= GetNRows(table)) {
    return -1;
  }
  return row * columns + column;
}

gint GetRowAtIndex(AtkTable* table, gint index) {
  const gint columns = GetNColumns(table);
  return columns > 0 && index >= 0 ? index / columns : -1;
}

gint GetColumnAtIndex(AtkTable* table, gint index) {
  const gint columns = GetNColumns(table);
  return columns > 0 && index >= 0 ? index % columns : -1;
}

gint GetExtentAt(AtkTable*, gint, gint) {
  return 1;
}

AtkObject* GetColumnHeader(AtkTable* table, gint column) {
  const Node* node = TableNode(table);
  if (column < 0 || column >= HeaderCount(node)) {
    return nullptr;
  }
  return node->children[static_cast<size_t>(column)];
}

const gchar* GetColumnDescription(AtkTable* table, gint column) {
  AtkObject* header = GetColumnHeader(table, column);
  return header != nullptr ? NodeOf(header)->name.c_str() : nullptr;
}

void TableInit(AtkTableIface* iface) {
  iface->ref_at = RefAt;
  iface->get_index_at = GetIndexAt;
  iface->get_row_at_index = GetRowAtIndex;
  iface->get_column_at_index = GetColumnAtIndex;
  iface->get_n_columns = GetNColumns;
  iface->get_n_rows = GetNRows;
  iface->get_column_extent_at = GetExtentAt;
  iface->get_row_extent_at = GetExtentAt;
  iface->get_column_header = GetColumnHeader;
  iface->get_column_description = GetColumnDescription;
}

// ---- AtkTableCell ----

// The table object of a cell (its row's parent), or null.
AtkObject* CellTable(const Node* cell) {
  const Node* row = NodeOf(cell->parent);
  if (row == nullptr || row->role != ATK_ROLE_TABLE_ROW) {
    return nullptr;
  }
  const Node* table = NodeOf(row->parent);
  return table != nullptr && table->role == ATK_ROLE_TABLE ? table->self : nullptr;
}

gboolean GetCellPosition(AtkTableCell* cell, gint* row, gint* column) {
  const Node* node = NodeOf(cell);
  AtkObject* table = CellTable(node);
  if (table == nullptr) {
    return FALSE;
  }
  const Node* tableNode = NodeOf(table);
  const int rowIndex = IndexOf(tableNode->children, node->parent) - HeaderCount(tableNode);
  const int columnIndex = IndexOf(NodeOf(node->parent)->children, node->self);
  if (rowIndex < 0 || columnIndex < 0) {
    return FALSE;
  }
  *row = rowIndex;
  *column = columnIndex;
  return TRUE;
}

gint GetCellSpan(AtkTableCell*) {
  return 1;
}

gboolean GetCellRowColumnSpan(AtkTableCell* cell, gint* row, gint* column, gint* rowSpan,
                              gint* columnSpan) {
  if (!GetCellPosition(cell, row, column)) {
    return FALSE;
  }
  *rowSpan = 1;
  *columnSpan = 1;
  return TRUE;
}

AtkObject* GetCellTable(AtkTableCell* cell) {
  AtkObject* table = CellTable(NodeOf(cell));
  return table != nullptr ? ATK_OBJECT(g_object_ref(table)) : nullptr;
}

GPtrArray* GetCellColumnHeaders(AtkTableCell* cell) {
  GPtrArray* headers = g_ptr_array_new_with_free_func(g_object_unref);
  gint row = 0;
  gint column = 0;
  if (GetCellPosition(cell, &row, &column)) {
    AtkObject* table = CellTable(NodeOf(cell));
    if (AtkObject* header = GetColumnHeader(ATK_TABLE(table), column)) {
      g_ptr_array_add(headers, g_object_ref(header));
    }
  }
  return headers;
}

GPtrArray* GetCellRowHeaders(AtkTableCell*) {
  return g_ptr_array_new_with_free_func(g_object_unref);
}

void TableCellInit(AtkTableCellIface* iface) {
  iface->get_position = GetCellPosition;
  iface->get_column_span = GetCellSpan;
  iface->get_row_span = GetCellSpan;
  iface->get_row_column_span = GetCellRowColumnSpan;
  iface->get_table = GetCellTable;
  iface->get_column_header_cells = GetCellColumnHeaders;
  iface->get_row_header_cells = GetCellRowHeaders;
}

// ---- The canvas and its object ----

void CanvasAccessibleInitialize(AtkObject* object, gpointer widget) {
  ATK_OBJECT_CLASS(zp_canvas_accessible_parent_class)->initialize(object, widget);
  ZpCanvas* canvas = AsCanvas(widget);
  if (canvas == nullptr) {
    return;
  }
  auto* tree = new WindowTree;
  SetWeak(&tree->canvas, GTK_WIDGET(widget));
  tree->hwnd = canvas->hwnd;
  tree->root.self = object;
  tree->root.tree = tree;
  reinterpret_cast<ZpCanvasAccessible*>(object)->tree = tree;
  canvas->tree = tree;
  ScheduleSync(tree);
}

void CanvasAccessibleWidgetUnset(GtkAccessible* accessible) {
  TearDown(reinterpret_cast<ZpCanvasAccessible*>(accessible));
  if (GTK_ACCESSIBLE_CLASS(zp_canvas_accessible_parent_class)->widget_unset != nullptr) {
    GTK_ACCESSIBLE_CLASS(zp_canvas_accessible_parent_class)->widget_unset(accessible);
  }
}

void CanvasAccessibleFinalize(GObject* object) {
  TearDown(reinterpret_cast<ZpCanvasAccessible*>(object));
  G_OBJECT_CLASS(zp_canvas_accessible_parent_class)->finalize(object);
}

// The canvas makes its object as soon as it shows, so that the entries are named before anyone
// asks for the window's children.
void CanvasMap(GtkWidget* widget) {
  GTK_WIDGET_CLASS(zp_canvas_parent_class)->map(widget);
  gtk_widget_get_accessible(widget);
  AccessibleCanvasChanged(widget);
}

void CanvasUnmap(GtkWidget* widget) {
  GTK_WIDGET_CLASS(zp_canvas_parent_class)->unmap(widget);
  AccessibleCanvasChanged(widget);
}

gboolean CanvasFocusIn(GtkWidget* widget, GdkEventFocus* event) {
  AccessibleCanvasChanged(widget);
  return GTK_WIDGET_CLASS(zp_canvas_parent_class)->focus_in_event(widget, event);
}

gboolean CanvasFocusOut(GtkWidget* widget, GdkEventFocus* event) {
  AccessibleCanvasChanged(widget);
  return GTK_WIDGET_CLASS(zp_canvas_parent_class)->focus_out_event(widget, event);
}

void ControlAccessibleFinalize(GObject* object) {
  Node* node = NodeOf(object);
  Forget(node);
  SetWeak<AtkObject>(&node->parent, nullptr);
  delete node;
  G_OBJECT_CLASS(zp_control_accessible_parent_class)->finalize(object);
}

}  // namespace

static void zp_canvas_accessible_class_init(ZpCanvasAccessibleClass* klass) {
  AtkObjectClass* atkClass = ATK_OBJECT_CLASS(klass);
  atkClass->initialize = CanvasAccessibleInitialize;
  atkClass->get_n_children = GetNChildren;
  atkClass->ref_child = RefChild;
  GTK_ACCESSIBLE_CLASS(klass)->widget_unset = CanvasAccessibleWidgetUnset;
  G_OBJECT_CLASS(klass)->finalize = CanvasAccessibleFinalize;
}

static void zp_canvas_accessible_init(ZpCanvasAccessible* self) {
  self->tree = nullptr;
}

static void zp_canvas_class_init(ZpCanvasClass* klass) {
  GtkWidgetClass* widgetClass = GTK_WIDGET_CLASS(klass);
  widgetClass->map = CanvasMap;
  widgetClass->unmap = CanvasUnmap;
  widgetClass->focus_in_event = CanvasFocusIn;
  widgetClass->focus_out_event = CanvasFocusOut;
  gtk_widget_class_set_accessible_type(widgetClass, zp_canvas_accessible_get_type());
  gtk_widget_class_set_accessible_role(widgetClass, ATK_ROLE_DRAWING_AREA);
}

static void zp_canvas_init(ZpCanvas* self) {
  self->hwnd = nullptr;
  self->tree = nullptr;
}

static void zp_control_accessible_class_init(ZpControlAccessibleClass* klass) {
  AtkObjectClass* atkClass = ATK_OBJECT_CLASS(klass);
  atkClass->get_name = GetName;
  atkClass->get_parent = GetParent;
  atkClass->get_index_in_parent = GetIndexInParent;
  atkClass->get_n_children = GetNChildren;
  atkClass->ref_child = RefChild;
  atkClass->ref_state_set = RefStateSet;
  G_OBJECT_CLASS(klass)->finalize = ControlAccessibleFinalize;
}

static void zp_control_accessible_init(ZpControlAccessible* self) {
  self->node = new Node;
  self->node->self = ATK_OBJECT(self);
}

static void zp_action_accessible_class_init(ZpActionAccessibleClass*) {}
static void zp_action_accessible_init(ZpActionAccessible*) {}
static void zp_table_accessible_class_init(ZpTableAccessibleClass*) {}
static void zp_table_accessible_init(ZpTableAccessible*) {}
static void zp_cell_accessible_class_init(ZpCellAccessibleClass*) {}
static void zp_cell_accessible_init(ZpCellAccessible*) {}

GtkWidget* NewAccessibleCanvas(HWND hwnd) {
  auto* canvas = static_cast<ZpCanvas*>(g_object_new(zp_canvas_get_type(), nullptr));
  canvas->hwnd = hwnd;
  return GTK_WIDGET(canvas);
}

void AccessibleCanvasChanged(GtkWidget* canvas) {
  ZpCanvas* zpCanvas = AsCanvas(canvas);
  if (zpCanvas != nullptr && zpCanvas->tree != nullptr) {
    ScheduleSync(zpCanvas->tree);
  }
}

void AccessibleControlRemoved(CControlUI* control) {
  auto& registry = Registry();
  const auto it = registry.find(control);
  if (it == registry.end()) {
    return;
  }
  Node* node = NodeOf(it->second);
  WindowTree* tree = node->tree;
  Forget(node);
  if (tree != nullptr) {
    ScheduleSync(tree);
  }
}
