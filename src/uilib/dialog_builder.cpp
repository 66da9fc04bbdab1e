#include "uilib/dialog_builder.h"

#include <functional>
#include <map>
#include <memory>

#include "platform/code_page.h"
#include "platform/xml_file.h"
#include "uilib/paint_manager.h"
#include "uilib/resources.h"
#include "uilib/ui_activex.h"
#include "uilib/ui_button.h"
#include "uilib/ui_container.h"
#include "uilib/ui_edit.h"
#include "uilib/ui_label.h"
#include "uilib/ui_list.h"

namespace {

using Factory = std::function<CControlUI*()>;

const std::map<std::string, Factory>& Factories() {
  static const std::map<std::string, Factory> factories = {
      {"Control", [] { return new CControlUI; }},
      {"Container", [] { return new CContainerUI; }},
      {"VerticalLayout", [] { return new CVerticalLayoutUI; }},
      {"HorizontalLayout", [] { return new CHorizontalLayoutUI; }},
      {"Label", [] { return new CLabelUI; }},
      {"Text", [] { return new CTextUI; }},
      {"Button", [] { return new CButtonUI; }},
      {"Option", [] { return new COptionUI; }},
      {"Edit", [] { return new CEditUI; }},
      {"List", [] { return new CListUI; }},
      {"ListHeader", [] { return new CListHeaderUI; }},
      {"ListHeaderItem", [] { return new CListHeaderItemUI; }},
      {"ListContainerElement", [] { return new CListContainerElementUI; }},
      {"ActiveX", [] { return new CActiveXUI; }},
  };
  return factories;
}

// A setter of the window that takes `count` whole numbers.
AttributeTable<CPaintManagerUI>::Setter Numbers(int count,
                                                void (*apply)(CPaintManagerUI&, const int*)) {
  return [count, apply](CPaintManagerUI& manager, std::string_view value) {
    int numbers[4];
    if (!ParseInts(value, numbers, count)) {
      return false;
    }
    apply(manager, numbers);
    return true;
  };
}

}  // namespace

const AttributeTable<CPaintManagerUI>& WindowAttributes() {
  static const AttributeTable<CPaintManagerUI> table = {
      {"size", Numbers(2, [](CPaintManagerUI& m, const int* n) { m.SetInitSize(n[0], n[1]); })},
      {"caption", Numbers(4,
                          [](CPaintManagerUI& m, const int* n) {
                            m.SetCaptionRect({n[0], n[1], n[2], n[3]});
                          })},
      {"roundcorner",
       Numbers(2, [](CPaintManagerUI& m, const int* n) { m.SetRoundCorner(n[0], n[1]); })},
      {"mininfo", Numbers(2, [](CPaintManagerUI& m, const int* n) { m.SetMinInfo(n[0], n[1]); })},
      {"font",
       [](CPaintManagerUI& m, std::string_view value) {
         m.SetDefaultFontFamily(std::string(value));
         return true;
       }},
      {"fontsize",
       [](CPaintManagerUI& m, std::string_view value) {
         int size = 0;
         if (!ParseInts(value, &size, 1) || size <= 0) {
           return false;
         }
         m.SetDefaultFontSize(size);
         return true;
       }},
      {"bkcolor",
       [](CPaintManagerUI& m, std::string_view value) {
         uint32_t color = 0;
         if (!ParseColor(value, &color)) {
           return false;
         }
         m.SetBkColor(color);
         return true;
       }},
  };
  return table;
}

namespace {

class TreeBuilder {
 public:
  TreeBuilder(IDialogBuilderCallback* callback, std::string* error)
      : m_callback(callback), m_error(error) {}

  // The control for `element` with its attributes and children, or null with the error set.
  std::unique_ptr<CControlUI> Build(const TiXmlElement& element) {
    const std::string tag = element.ValueStr();
    std::unique_ptr<CControlUI> control;
    const auto factory = Factories().find(tag);
    if (factory != Factories().end()) {
      control.reset(factory->second());
    } else if (m_callback != nullptr) {
      control.reset(m_callback->CreateControl(Utf8ToWide(tag).c_str()));
    }
    if (!control) {
      return Fail(element, "unknown element <" + tag + ">");
    }
    for (const TiXmlAttribute* attribute = element.FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
      if (!control->SetAttribute(attribute->Name(), attribute->Value())) {
        return Fail(*attribute,
                    "unknown attribute or bad value: " + std::string(attribute->Name()) + "=\"" +
                        attribute->Value() + "\" on <" + tag + ">");
      }
    }
    auto* container = dynamic_cast<CContainerUI*>(control.get());
    for (const TiXmlNode* node = element.FirstChild(); node != nullptr;
         node = node->NextSibling()) {
      if (node->ToComment() != nullptr) {
        continue;
      }
      const TiXmlElement* child = node->ToElement();
      if (child == nullptr) {
        return Fail(*node, "<" + tag + "> holds text or markup the layout language has not");
      }
      if (container == nullptr) {
        return Fail(*child,
                    "<" + tag + "> cannot hold child elements (<" + child->ValueStr() + ">)");
      }
      std::unique_ptr<CControlUI> item = Build(*child);
      if (!item) {
        return nullptr;
      }
      container->Add(item.release());
    }
    return control;
  }

 private:
  std::unique_ptr<CControlUI> Fail(const TiXmlBase& where, const std::string& message) {
    if (m_error->empty()) {
      *m_error = "line " + std::to_string(where.Row()) + ": " + message;
    }
    return nullptr;
  }

  IDialogBuilderCallback* m_callback;
  std::string* m_error;
};

}  // namespace

CControlUI* CDialogBuilder::Create(const std::wstring& layoutFile, const wchar_t*,
                                   IDialogBuilderCallback* callback, CPaintManagerUI* manager,
                                   CControlUI* parent) {
  const std::string name = WideToUtf8(layoutFile);
  const std::optional<std::string> text = SkinResources::ReadFile(name);
  if (!text) {
    m_error = "no layout " + name + " in the skin";
    return nullptr;
  }
  return CreateFromText(*text, callback, manager, parent);
}

CControlUI* CDialogBuilder::CreateFromText(const std::string& text,
                                           IDialogBuilderCallback* callback,
                                           CPaintManagerUI* manager, CControlUI* parent) {
  m_error.clear();
  TiXmlDocument doc;
  if (!ParseXmlText(text, kMaxLayoutBytes, doc)) {
    m_error = doc.Error() ? std::string("layout is not well-formed: ") + doc.ErrorDesc()
                          : "layout is not readable";
    return nullptr;
  }
  const TiXmlElement* root = doc.RootElement();
  if (root == nullptr) {
    m_error = "layout has no element";
    return nullptr;
  }
  if (root->ValueStr() == "Window") {
    for (const TiXmlAttribute* attribute = root->FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
      if (manager == nullptr) {
        continue;
      }
      if (!WindowAttributes()
               .Apply(*manager, attribute->Name(), attribute->Value())
               .value_or(false)) {
        m_error = "line " + std::to_string(attribute->Row()) +
                  ": unknown attribute or bad value: " + std::string(attribute->Name()) + "=\"" +
                  attribute->Value() + "\" on <Window>";
        return nullptr;
      }
    }
    // A window holds exactly one control, the root of its tree; comments aside, nothing else.
    const TiXmlElement* only = nullptr;
    for (const TiXmlNode* node = root->FirstChild(); node != nullptr; node = node->NextSibling()) {
      if (node->ToComment() != nullptr) {
        continue;
      }
      if (node->ToElement() == nullptr || only != nullptr) {
        m_error = "line " + std::to_string(node->Row()) + ": <Window> holds one control only" +
                  (node->ToElement() != nullptr ? ", not also <" + node->ValueStr() + ">" : "");
        return nullptr;
      }
      only = node->ToElement();
    }
    if (only == nullptr) {
      m_error = "line " + std::to_string(root->Row()) + ": <Window> holds no control";
      return nullptr;
    }
    root = only;
  }
  TreeBuilder builder(callback, &m_error);
  std::unique_ptr<CControlUI> control = builder.Build(*root);
  if (!control) {
    return nullptr;
  }
  if (manager != nullptr) {
    control->SetManager(manager, parent);
  }
  return control.release();
}
