// Reads arbitrary bytes as a message a page posts to the app's bridge (a
// handler name and a body of fields), decodes it, and resolves the URL text
// it may carry against the portal's address, as a page-chosen path would be.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Tarvel_Portal/Sources/Controller/BroadcastMessage.hpp"
#include "Tarvel_Portal/Sources/Controller/PortalURL.hpp"

namespace {

// Hands out the input's bytes front to back; zero once they run out.
class ByteSource {
 public:
  ByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() { return offset_ < size_ ? data_[offset_++] : 0; }
  std::string text() {
    const std::size_t length = byte();
    std::string result;
    while (result.size() < length && offset_ < size_) result.push_back(static_cast<char>(data_[offset_++]));
    return result;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

platform::WKScriptValue value(ByteSource& source) {
  switch (source.byte() % 6) {
    case 0: return std::monostate{};
    case 1: return source.byte() % 2 == 0;
    case 2: return static_cast<double>(source.byte());
    case 3: return platform::WKScriptArray{};
    case 4: return platform::WKScriptObject{};
    default: return source.text();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarvelportal;
  ByteSource source(data, size);
  platform::WKScriptMessage message;
  message.name = source.byte() % 2 == 0 ? std::string(kBroadcastHandlerName) : source.text();
  if (source.byte() % 4 == 0) {
    message.body = value(source);
  } else {
    platform::WKScriptDictionary fields;
    for (int count = source.byte() % 8; count > 0; --count) {
      const std::uint8_t known = source.byte();
      std::string name = known % 4 == 0 ? "type" : known % 4 == 1 ? "url" : known % 4 == 2 ? "key" : source.text();
      if (name == "type" && source.byte() % 2 == 0) {
        fields.insert_or_assign(name, platform::WKScriptValue(source.byte() % 2 == 0 ? "armed" : "disarmed"));
      } else {
        fields.insert_or_assign(name, value(source));
      }
    }
    message.body = std::move(fields);
  }
  const auto decoded = decodeBroadcastMessage(message);
  static const auto portal = PortalURL::make("https://portal.example.com/app/");
  if (const auto* armed = std::get_if<BroadcastArmed>(&decoded)) {
    if (const auto resolved = portal->resolve(armed->url)) portal->isSameOrigin(*resolved);
  }
  return 0;
}
