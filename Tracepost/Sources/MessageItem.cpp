#include "Tracepost/Sources/MessageItem.hpp"

namespace tracepost {

std::string messageText(Message message) {
  std::string text;
  for (const MessageItem& item : message) item.appendTo(text);
  return text;
}

}  // namespace tracepost
