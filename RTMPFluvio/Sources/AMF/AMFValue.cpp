#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"

#include <charconv>
#include <ostream>

namespace rtmpfluvio {

namespace {

void printNumber(std::ostream& stream, double number) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, number);
  stream.write(text, result.ptr - text);
}

template <class Element>
void printElements(std::ostream& stream, const std::vector<Element>& elements) {
  stream << '[';
  const char* separator = "";
  for (const auto& element : elements) {
    stream << separator << element;
    separator = ", ";
  }
  stream << ']';
}

struct Printer {
  std::ostream& stream;

  void operator()(AMFNull) const { stream << "null"; }
  void operator()(AMFUndefined value) const { stream << value.description(); }
  void operator()(bool value) const { stream << (value ? "true" : "false"); }
  void operator()(std::int64_t value) const { stream << value; }
  void operator()(double value) const { printNumber(stream, value); }
  void operator()(const std::string& value) const { stream << '"' << value << '"'; }
  void operator()(AMFDate value) const {
    stream << "Date(";
    printNumber(stream, value.time_since_epoch().count());
    stream << " ms)";
  }
  void operator()(const AMFList& value) const { stream << value; }
  void operator()(const AMFObject& value) const { stream << value; }
  void operator()(const AMFArray& value) const { stream << value.debugDescription(); }
  void operator()(const AMFTypedObject& value) const { stream << value.typeName << value.data; }
  void operator()(const AMFXMLDocument& value) const { stream << value.description(); }
  void operator()(const AMFXML& value) const { stream << value.description(); }
  void operator()(const AMFByteArray& value) const { stream << '<' << value.size() << " bytes>"; }
  void operator()(const std::vector<std::int32_t>& value) const { printElements(stream, value); }
  void operator()(const std::vector<std::uint32_t>& value) const { printElements(stream, value); }
  void operator()(const std::vector<double>& value) const { printElements(stream, value); }
};

}  // namespace

std::ostream& operator<<(std::ostream& stream, const AMFValue& value) {
  std::visit(Printer{stream}, value.storage());
  return stream;
}

std::ostream& operator<<(std::ostream& stream, const AMFList& list) {
  printElements(stream, list);
  return stream;
}

std::ostream& operator<<(std::ostream& stream, const AMFObject& object) {
  stream << '{';
  const char* separator = "";
  for (const auto& [key, value] : object) {
    stream << separator << '"' << key << "\": " << value;
    separator = ", ";
  }
  return stream << '}';
}

}  // namespace rtmpfluvio
