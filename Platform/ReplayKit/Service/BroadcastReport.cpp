#include "Platform/ReplayKit/Service/BroadcastReport.hpp"

#include <cstdio>

namespace platform::broadcastservice {

std::string statusLine(const BroadcastProgress& now, const BroadcastProgress& previous) {
  const double interval = now.elapsedSeconds - previous.elapsedSeconds;
  const double fps = interval > 0 ? (now.delivered.video - previous.delivered.video) / interval : 0;
  const double bitRate =
      interval > 0 ? 8.0 * (now.extension.bytesSent - previous.extension.bytesSent) / interval / 1e6 : 0;
  const auto seconds = static_cast<long>(now.elapsedSeconds);
  char line[200];
  std::snprintf(line, sizeof line, "%02ld:%02ld  %llu frames  %.1f fps  %.2f Mbit/s  dropped %llu+%llu  queued %llu B",
                seconds / 60, seconds % 60, static_cast<unsigned long long>(now.delivered.video), fps, bitRate,
                static_cast<unsigned long long>(now.framesDroppedByService),
                static_cast<unsigned long long>(now.extension.buffersDropped),
                static_cast<unsigned long long>(now.extension.bytesQueued));
  return line;
}

std::string summary(const BroadcastProgress& end) {
  const double fps = end.elapsedSeconds > 0 ? end.delivered.video / end.elapsedSeconds : 0;
  char text[600];
  std::snprintf(text, sizeof text,
                "broadcast: %.1f s, %llu frames delivered (%.1f fps), %llu app audio and %llu microphone buffers, "
                "%llu frames dropped by the service, %llu buffers dropped by the extension, %llu frames and %llu bytes sent; "
                "the stream's queues dropped %llu video frames, %llu audio packets; %llu frames not delivered",
                end.elapsedSeconds, static_cast<unsigned long long>(end.delivered.video), fps,
                static_cast<unsigned long long>(end.delivered.audioApp),
                static_cast<unsigned long long>(end.delivered.audioMic),
                static_cast<unsigned long long>(end.framesDroppedByService),
                static_cast<unsigned long long>(end.extension.buffersDropped),
                static_cast<unsigned long long>(end.extension.videoFramesSent),
                static_cast<unsigned long long>(end.extension.bytesSent),
                static_cast<unsigned long long>(end.extension.videoFramesDroppedByStream),
                static_cast<unsigned long long>(end.extension.audioPacketsDroppedByStream),
                static_cast<unsigned long long>(end.extension.videoFramesNotDelivered));
  return text;
}

}  // namespace platform::broadcastservice
