#include "Platform/WebKit/Gtk/WKScriptValueGtk.hpp"

#include <memory>
#include <string>

namespace platform {
namespace {

bool isPlainObject(JSCValue* value) {
  return jsc_value_is_object(value) && !jsc_value_is_array(value) && !jsc_value_is_function(value);
}

std::optional<WKScriptValue> scalar(JSCValue* value) {
  if (jsc_value_is_boolean(value)) return WKScriptValue(static_cast<bool>(jsc_value_to_boolean(value)));
  if (jsc_value_is_number(value)) return WKScriptValue(jsc_value_to_double(value));
  if (jsc_value_is_string(value)) {
    gchar* text = jsc_value_to_string(value);
    std::string result = text != nullptr ? text : "";
    g_free(text);
    if (result.size() > kScriptMessageMaxStringBytes) return std::nullopt;
    return WKScriptValue(std::move(result));
  }
  if (jsc_value_is_array(value)) return WKScriptValue(WKScriptArray{});
  if (jsc_value_is_object(value)) return WKScriptValue(WKScriptObject{});
  return WKScriptValue(std::monostate{});
}

}  // namespace

std::optional<WKScriptBody> scriptBody(JSCValue* value) {
  if (!isPlainObject(value)) {
    auto single = scalar(value);
    if (!single) return std::nullopt;
    return WKScriptBody(std::move(*single));
  }
  gchar** names = jsc_value_object_enumerate_properties(value);
  std::unique_ptr<gchar*, decltype(&g_strfreev)> owned(names, g_strfreev);
  WKScriptDictionary fields;
  for (std::size_t index = 0; names != nullptr && names[index] != nullptr; ++index) {
    if (index == kScriptMessageMaxFields) return std::nullopt;
    JSCValue* field = jsc_value_object_get_property(value, names[index]);
    auto converted = scalar(field);
    g_object_unref(field);
    if (!converted) return std::nullopt;
    fields.emplace(names[index], std::move(*converted));
  }
  return WKScriptBody(std::move(fields));
}

}  // namespace platform
