#pragma once

// CControlUI: the base of every control of a window's control tree.
//
// A control has a name (for lookups), a text, user data, a rectangle in client coordinates given
// by its parent's layout, a fixed size or none (then the layout decides), and its looks (colours,
// border, font size, text alignment, a background image from the skin archive). It paints itself
// with Cairo and Pango and answers input events that its paint manager routes to it. Attributes of
// the layout language set all of this; an attribute a control does not know is refused.

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "uilib/attribute_table.h"
#include "uilib/ui_types.h"

class CPaintManagerUI;
class CControlUI;

enum UiEventType {
  UIEVENT_MOUSEMOVE,
  UIEVENT_MOUSEENTER,
  UIEVENT_MOUSELEAVE,
  UIEVENT_BUTTONDOWN,
  UIEVENT_BUTTONUP,
  UIEVENT_SCROLLWHEEL,
  UIEVENT_KEYDOWN,
  UIEVENT_SETFOCUS,
  UIEVENT_KILLFOCUS,
  UIEVENT_TIMER,
};

struct TEventUI {
  UiEventType Type = UIEVENT_MOUSEMOVE;
  CControlUI* pSender = nullptr;
  POINT ptMouse;
  WPARAM wParam = 0;  // key, timer id, or wheel direction (positive: towards the user)
  LPARAM lParam = 0;
};

// A notification to the window: "click", "selectchanged", "windowinit", "timer", ...
struct TNotifyUI {
  std::wstring sType;
  CControlUI* pSender = nullptr;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

class INotifyUI {
 public:
  virtual ~INotifyUI() = default;
  virtual void Notify(TNotifyUI& msg) = 0;
};

class IMessageFilterUI {
 public:
  virtual ~IMessageFilterUI() = default;
  virtual LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) = 0;
};

// Text alignment flags.
constexpr unsigned DT_LEFT = 0x0000;
constexpr unsigned DT_CENTER = 0x0001;
constexpr unsigned DT_RIGHT = 0x0002;

class CControlUI {
 public:
  CControlUI();
  virtual ~CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;

  // The kind of control: "ControlUI", "ButtonUI", "OptionUI", "TextUI", ...
  virtual std::wstring GetClass() const;

  const std::wstring& GetName() const { return m_name; }
  void SetName(std::wstring name);
  virtual std::wstring GetText() const;
  virtual void SetText(const std::wstring& text);
  const std::wstring& GetUserData() const { return m_userData; }
  void SetUserData(std::wstring data) { m_userData = std::move(data); }
  uintptr_t GetTag() const { return m_tag; }
  void SetTag(uintptr_t tag) { m_tag = tag; }

  CPaintManagerUI* GetManager() const { return m_manager; }
  CControlUI* GetParent() const { return m_parent; }
  // Attaches the control (and its children) to a paint manager under `parent`.
  virtual void SetManager(CPaintManagerUI* manager, CControlUI* parent);

  // The colour as the window's colour adjustment shows it (none here: the colour itself).
  uint32_t GetAdjustColor(uint32_t color) const { return color; }

  bool IsVisible() const { return m_visible; }
  // Hiding the control takes the focus from it and its descendants.
  virtual void SetVisible(bool visible);
  // Visible, and so is every parent: the control shows when its window does.
  bool IsVisibleInTree() const;
  bool IsEnabled() const { return m_enabled; }
  // Disabling the focused control takes the focus from it.
  virtual void SetEnabled(bool enabled);
  // Whether Tab stops here and Space or Enter activates it.
  virtual bool IsFocusable() const { return false; }
  // The control a click on this one gives the focus to: this one when it is focusable, or null
  // (then the click asks the parent).
  virtual CControlUI* GetFocusTarget() { return IsFocusable() ? this : nullptr; }
  bool IsFocused() const;
  void SetFocus();
  // Whether `control` is this one or one of its descendants.
  bool Holds(const CControlUI* control) const;
  // A control that scrolls its children moves so that `descendant` shows; others do nothing.
  virtual void EnsureVisible(CControlUI* /*descendant*/) {}

  const CRect& GetPos() const { return m_rect; }
  virtual void SetPos(const RECT& rect);
  int GetFixedWidth() const { return m_fixed.cx; }
  int GetFixedHeight() const { return m_fixed.cy; }
  void SetFixedWidth(int width) { m_fixed.cx = width; }
  void SetFixedHeight(int height) { m_fixed.cy = height; }
  const RECT& GetPadding() const { return m_padding; }
  // The size the control asks its parent for; 0 in a direction means "whatever is left".
  virtual SIZE EstimateSize(SIZE available);

  // Sets one attribute of the layout language; false for an unknown name or a bad value.
  // Takes an attribute of the layout language; false when the control does not know it or the
  // value does not parse.
  virtual bool SetAttribute(std::string_view name, std::string_view value);
  // The attributes this class takes itself (SetAttribute also takes its base classes').
  static const AttributeTable<CControlUI>& Attributes();

  // The topmost visible, enabled control at `point` within this one, or null.
  virtual CControlUI* FindControlAt(POINT point);
  // Visits this control and every descendant, parents first.
  virtual void ForEach(const std::function<void(CControlUI*)>& visit);

  virtual void DoPaint(cairo_t* cr, const RECT& clip);
  virtual void DoEvent(TEventUI& event);
  // What Space or Enter does with the focus here, and a click: nothing in the base.
  virtual void Activate() {}

  void Invalidate();
  void NeedParentUpdate();

  // Looks the text and its colours use.
  uint32_t GetTextColor() const { return m_textColor; }
  uint32_t GetBkColor() const { return m_bkColor; }
  void SetBkColor(uint32_t color);
  int GetFontSize() const;

 protected:
  virtual void PaintBkColor(cairo_t* cr);
  virtual void PaintBkImage(cairo_t* cr);
  virtual void PaintStatusImage(cairo_t* cr);
  virtual void PaintText(cairo_t* cr);
  virtual void PaintBorder(cairo_t* cr);
  // Text in the control's rectangle less its text padding, with its font and alignment.
  void DrawText(cairo_t* cr, const std::wstring& text, uint32_t color, const RECT& rect) const;
  // Runs on the control and on each of its descendants when the control is shown or hidden.
  virtual void VisibilityChanged() {}

  CPaintManagerUI* m_manager = nullptr;
  CControlUI* m_parent = nullptr;
  std::wstring m_name;
  std::wstring m_text;
  std::wstring m_userData;
  uintptr_t m_tag = 0;
  CRect m_rect;
  SIZE m_fixed;
  RECT m_padding;      // outer space the parent's layout leaves around the control
  RECT m_textPadding;  // inner space around the text
  bool m_visible = true;
  bool m_enabled = true;
  bool m_hot = false;
  bool m_pushed = false;
  uint32_t m_bkColor = 0;
  uint32_t m_borderColor = 0;
  int m_borderSize = 0;
  int m_borderRound = 0;
  uint32_t m_textColor = 0xFF333333;
  uint32_t m_disabledTextColor = 0xFF9AA0A6;
  int m_fontSize = 0;  // 0: the window's default
  bool m_bold = false;
  unsigned m_textAlign = DT_LEFT;
  std::string m_bkImage;
};
