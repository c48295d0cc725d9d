#include "RTMPFluvio/Tests/RTMP/ClientSendQueue.hpp"

#include <arpa/inet.h>
#include <filesystem>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace rtmpfluvio::testing {

int clientSocketTo(std::uint16_t port) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    int descriptor = -1;
    try {
      descriptor = std::stoi(entry.path().filename().string());
    } catch (const std::exception&) {
      continue;
    }
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &length) != 0) continue;
    if (peer.sin_family == AF_INET && ntohs(peer.sin_port) == port && ntohl(peer.sin_addr.s_addr) == INADDR_LOOPBACK) {
      return descriptor;
    }
  }
  return -1;
}

int sendQueueBytes(int socket) {
  int bytes = 0;
  return ::ioctl(socket, SIOCOUTQ, &bytes) == 0 ? bytes : -1;
}

}  // namespace rtmpfluvio::testing
