#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/UIKit/UIAlertAction.hpp"

namespace platform {

// A modal question: a message, buttons, and at most one text field. Exactly
// one action runs per presentation; the window that shows it chooses which.
class UIAlertController {
 public:
  static std::shared_ptr<UIAlertController> make(std::string message) {
    return std::shared_ptr<UIAlertController>(new UIAlertController(std::move(message)));
  }

  const std::string& message() const noexcept { return message_; }
  const std::vector<UIAlertAction>& actions() const noexcept { return actions_; }
  // The text field's preset text, when the alert has a field.
  const std::optional<std::string>& textField() const noexcept { return textField_; }

  void addAction(UIAlertAction action) { actions_.push_back(std::move(action)); }
  void addTextField(std::string text) { textField_ = std::move(text); }

  // Runs the action titled `title` with the field's text as the user left it;
  // false when the alert has no such action or an action already ran.
  bool respond(const std::string& title, const std::optional<std::string>& textFieldText) {
    if (answered_) return false;
    for (const auto& action : actions_) {
      if (action.title != title) continue;
      answered_ = true;
      if (action.handler) action.handler(textFieldText);
      return true;
    }
    return false;
  }

 private:
  explicit UIAlertController(std::string message) : message_(std::move(message)) {}

  std::string message_;
  std::vector<UIAlertAction> actions_;
  std::optional<std::string> textField_;
  bool answered_ = false;
};

// Where alerts are shown: the front window of the app.
class UIViewController {
 public:
  virtual ~UIViewController() = default;
  virtual void present(std::shared_ptr<UIAlertController> alert) = 0;
};

}  // namespace platform
