#pragma once

#include <span>
#include <string>

#include "Tracepost/Sources/Description.hpp"

namespace tracepost {

// One message item of a log call, kept unconverted: a reference to the caller's
// value and the rule that turns it into text. Only valid during the call.
class MessageItem {
 public:
  template <class T>
  MessageItem(const T& value) noexcept
      : value_(&value), appendTo_([](std::string& text, const void* item) {
          appendDescription(text, *static_cast<const T*>(item));
        }) {}

  void appendTo(std::string& text) const { appendTo_(text, value_); }

 private:
  const void* value_;
  void (*appendTo_)(std::string&, const void*);
};

using Message = std::span<const MessageItem>;

// The items' descriptions concatenated without separator.
std::string messageText(Message message);

}  // namespace tracepost
