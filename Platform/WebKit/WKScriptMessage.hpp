#pragma once

#include <map>
#include <string>
#include <variant>

namespace platform {

// A page value as the bridge sees it: scalars keep their content, an array or
// an object only its kind (nothing reads deeper than one level).
struct WKScriptArray {
  friend bool operator==(WKScriptArray, WKScriptArray) = default;
};
struct WKScriptObject {
  friend bool operator==(WKScriptObject, WKScriptObject) = default;
};
using WKScriptValue = std::variant<std::monostate, bool, double, std::string, WKScriptArray, WKScriptObject>;

// A message body: a dictionary of the fields the page sent, or another value.
using WKScriptDictionary = std::map<std::string, WKScriptValue, std::less<>>;
using WKScriptBody = std::variant<WKScriptValue, WKScriptDictionary>;

// One message a page posted to a named handler.
struct WKScriptMessage {
  std::string name;
  WKScriptBody body;
};

}  // namespace platform
