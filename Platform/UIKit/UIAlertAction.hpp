#pragma once

#include <functional>
#include <optional>
#include <string>

namespace platform {

// One button of an alert. Its handler gets the text of the alert's first text
// field, or nothing when the alert has none.
struct UIAlertAction {
  enum class Style { defaultStyle, cancel };
  using Handler = std::function<void(const std::optional<std::string>& textFieldText)>;

  std::string title;
  Style style = Style::defaultStyle;
  Handler handler;
};

}  // namespace platform
