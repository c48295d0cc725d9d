#include "Tarvel_Portal/Tests/Gui/Support/WarningLog.hpp"

namespace tarvelportal::testing {
namespace {

constexpr const char* kAppLogDomain = "TarvelPortal";

}  // namespace

WarningLog::WarningLog()
    : handler_(g_log_set_handler(
          kAppLogDomain, G_LOG_LEVEL_WARNING,
          [](const gchar*, GLogLevelFlags, const gchar* message, gpointer data) {
            static_cast<WarningLog*>(data)->lines_.emplace_back(message);
          },
          this)) {}

WarningLog::~WarningLog() { g_log_remove_handler(kAppLogDomain, handler_); }

}  // namespace tarvelportal::testing
