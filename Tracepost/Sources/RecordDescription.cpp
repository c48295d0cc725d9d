#include "Tracepost/Sources/RecordDescription.hpp"

#include "Platform/Foundation/DateFormatter.hpp"
#include "Tracepost/Sources/TPLogger.hpp"

namespace tracepost {

std::string recordDescription(std::chrono::system_clock::time_point date, TPLoggerLevel level,
                              std::string_view identifier, std::string_view file, std::int64_t line,
                              std::string_view function, std::string_view message) {
  std::string text = TPLogger::dateFormatter()->string(date);
  text += " [";
  text += description(level);
  text += "] [";
  text += identifier;
  text += "] [";
  text += TPLogger::fileName(file);
  text += ':';
  text += std::to_string(line);
  text += "] ";
  text += function;
  text += " > ";
  text += message;
  return text;
}

}  // namespace tracepost
