#pragma once

namespace fluvio {

enum class SessionMode { publish, playback };

}  // namespace fluvio
