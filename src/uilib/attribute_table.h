#pragma once

// The attributes of a control class in the layout language: a table from attribute name to a
// setter that parses the value and stores it, built once per class. A class applies its own table
// and hands what it does not know to its base class, so the names a class accepts are its table's
// and its bases'. The same tables tell the documentation test what the language holds.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/code_page.h"
#include "uilib/ui_types.h"

template <typename Target>
class AttributeTable {
 public:
  // Parses `value` into the target; false when it is not a value of the attribute.
  using Setter = std::function<bool(Target&, std::string_view value)>;

  AttributeTable(std::initializer_list<std::pair<const std::string, Setter>> entries)
      : m_setters(entries) {}

  // Nothing when `name` is not in the table; otherwise whether the value was taken.
  std::optional<bool> Apply(Target& target, std::string_view name, std::string_view value) const {
    const auto it = m_setters.find(name);
    if (it == m_setters.end()) {
      return std::nullopt;
    }
    return it->second(target, value);
  }

  // Applies the table, and hands a name it does not hold to `Base`'s SetAttribute (called as
  // `Base`'s own, not as the override that asks).
  template <typename Base>
  bool ApplyOrBase(Target& target, std::string_view name, std::string_view value) const {
    const std::optional<bool> taken = Apply(target, name, value);
    return taken ? *taken : target.Base::SetAttribute(name, value);
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& [name, setter] : m_setters) {
      names.push_back(name);
    }
    return names;
  }

 private:
  std::map<std::string, Setter, std::less<>> m_setters;
};

// "true" or "false".
bool ParseBool(std::string_view text, bool* value);

// Setters for fields of the usual kinds.
namespace attribute {

template <typename Target>
typename AttributeTable<Target>::Setter Color(uint32_t Target::*field) {
  return [field](Target& target, std::string_view value) {
    return ParseColor(value, &(target.*field));
  };
}

// A whole number of at least `least`.
template <typename Target>
typename AttributeTable<Target>::Setter Number(int Target::*field, int least) {
  return [field, least](Target& target, std::string_view value) {
    int number = 0;
    if (!ParseInts(value, &number, 1) || number < least) {
      return false;
    }
    target.*field = number;
    return true;
  };
}

template <typename Target>
typename AttributeTable<Target>::Setter Flag(bool Target::*field) {
  return [field](Target& target, std::string_view value) {
    return ParseBool(value, &(target.*field));
  };
}

// Any text, kept as it is (image names).
template <typename Target>
typename AttributeTable<Target>::Setter Text(std::string Target::*field) {
  return [field](Target& target, std::string_view value) {
    target.*field = std::string(value);
    return true;
  };
}

// Any text, handed to `set` (a member function or any callable) as a wide string.
template <typename Target, typename Set>
typename AttributeTable<Target>::Setter WideText(Set set) {
  return [set](Target& target, std::string_view value) {
    std::invoke(set, target, Utf8ToWide(value));
    return true;
  };
}

// "l,t,r,b".
template <typename Target>
typename AttributeTable<Target>::Setter Box(RECT Target::*field) {
  return [field](Target& target, std::string_view value) {
    int numbers[4];
    if (!ParseInts(value, numbers, 4)) {
      return false;
    }
    target.*field = {numbers[0], numbers[1], numbers[2], numbers[3]};
    return true;
  };
}

}  // namespace attribute
