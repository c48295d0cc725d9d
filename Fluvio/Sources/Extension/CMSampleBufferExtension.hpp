#pragma once

#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace fluvio {

// A frame is not-sync (not a key frame) only when its first sample's notSync
// attachment holds true.
bool isNotSync(const platform::CMSampleBuffer& sampleBuffer);

// True stores the number 1 under notSync in the first sample's attachments,
// making them when the buffer has none yet; false removes the key.
void setNotSync(platform::CMSampleBuffer& sampleBuffer, bool notSync);

}  // namespace fluvio
