#include "RTMPFluvio/Sources/RTMP/RTMPStatus.hpp"

namespace rtmpfluvio {
namespace {

const std::string* stringMember(const AMFObject& object, std::string_view key) {
  const AMFValue* value = object.find(key);
  return value ? value->as<std::string>() : nullptr;
}

}  // namespace

std::optional<RTMPStatus> RTMPStatus::make(const AMFObject* object) {
  if (!object || object->empty()) return std::nullopt;
  const std::string* code = stringMember(*object, "code");
  const std::string* level = stringMember(*object, "level");
  if (!code || !level) return std::nullopt;
  const std::string* description = stringMember(*object, "description");
  return RTMPStatus(*code, *level, description ? *description : std::string(), *object);
}

std::optional<std::string> RTMPStatus::string(std::string_view key) const {
  if (!data_) return std::nullopt;
  const std::string* value = stringMember(*data_, key);
  return value ? std::optional<std::string>(*value) : std::nullopt;
}

std::optional<double> RTMPStatus::number(std::string_view key) const {
  if (!data_) return std::nullopt;
  const AMFValue* value = data_->find(key);
  if (!value) return std::nullopt;
  if (const double* number = value->as<double>()) return *number;
  return std::nullopt;
}

std::ostream& operator<<(std::ostream& stream, const RTMPStatus& status) {
  return stream << status.code() << " (" << status.level() << ")";
}

}  // namespace rtmpfluvio
