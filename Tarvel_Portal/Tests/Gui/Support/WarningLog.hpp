#pragma once

#include <glib.h>

#include <string>
#include <vector>

namespace tarvelportal::testing {

// Keeps the warnings the app logs while it exists.
class WarningLog {
 public:
  WarningLog();
  ~WarningLog();
  WarningLog(const WarningLog&) = delete;
  WarningLog& operator=(const WarningLog&) = delete;

  const std::vector<std::string>& lines() const noexcept { return lines_; }

 private:
  guint handler_;
  std::vector<std::string> lines_;
};

}  // namespace tarvelportal::testing
