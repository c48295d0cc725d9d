#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "Tracepost/Sources/TPLoggerLevel.hpp"

namespace tracepost {

// "date [Level] [identifier] [File.ext:line] function > message": how the
// console shows a record and how a read-back record describes itself.
std::string recordDescription(std::chrono::system_clock::time_point date, TPLoggerLevel level,
                              std::string_view identifier, std::string_view file, std::int64_t line,
                              std::string_view function, std::string_view message);

}  // namespace tracepost
