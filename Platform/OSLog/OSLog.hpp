#pragma once

#include <string>
#include <string_view>

namespace platform {

enum class OSLogType { debug, info, error };

// A handle on the system log for one subsystem and category. Entries go to
// syslog(3); the process's log mask decides which types are enabled.
class OSLog {
 public:
  OSLog(std::string subsystem, std::string category);

  const std::string& subsystem() const noexcept { return subsystem_; }
  const std::string& category() const noexcept { return category_; }

  bool isEnabled(OSLogType type) const noexcept;
  // Writes one entry of `type`, the text as it is, tagged with subsystem and category.
  void log(OSLogType type, std::string_view text) const;

 private:
  std::string subsystem_;
  std::string category_;
};

}  // namespace platform
