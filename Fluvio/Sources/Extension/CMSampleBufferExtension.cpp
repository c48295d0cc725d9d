#include "Fluvio/Sources/Extension/CMSampleBufferExtension.hpp"

namespace fluvio {

bool isNotSync(const platform::CMSampleBuffer& sampleBuffer) {
  const auto& attachments = sampleBuffer.sampleAttachments();
  if (attachments.empty()) return false;
  const auto found = attachments.front().find(platform::CMSampleAttachmentKey::notSync);
  return found != attachments.front().end() && platform::isTrue(found->second);
}

void setNotSync(platform::CMSampleBuffer& sampleBuffer, bool notSync) {
  if (!notSync && sampleBuffer.sampleAttachments().empty()) return;
  auto& attachments = sampleBuffer.mutableSampleAttachments();
  if (attachments.empty()) return;
  if (notSync) {
    attachments.front()[platform::CMSampleAttachmentKey::notSync] = std::int64_t{1};
  } else {
    attachments.front().erase(platform::CMSampleAttachmentKey::notSync);
  }
}

}  // namespace fluvio
