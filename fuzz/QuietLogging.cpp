// Every fuzz target links this: records are still described, so describing
// peer values is fuzzed too, but the text is dropped. Writing a line for each
// refused input would slow the run and fill the disk.
#include <memory>

#include "Fluvio/Sources/Util/FluvioLogger.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"
#include "Tracepost/Sources/TextAppender.hpp"

namespace {

class DiscardingTextAppender final : public tracepost::TextAppender {
 protected:
  void write(const tracepost::TPLogger&, tracepost::TPLoggerLevel, std::string_view, std::string_view, int,
             std::string_view) override {}
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const auto appender = std::make_shared<DiscardingTextAppender>();
  fluvio::logger().setAppender(appender);
  rtmpfluvio::logger().setAppender(appender);
  return 0;
}
