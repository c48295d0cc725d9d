#include "Platform/Network/Tests/PathLoss.hpp"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <vector>

namespace platform::testing {
namespace {

std::uint16_t portOf(const sockaddr_in& address) { return ntohs(address.sin_port); }

// This process's socket that is the client end of the connection.
std::optional<int> findClientSocket(std::uint16_t clientPort, std::uint16_t serverPort) {
  DIR* directory = ::opendir("/proc/self/fd");
  if (!directory) return std::nullopt;
  std::optional<int> found;
  while (const dirent* entry = ::readdir(directory)) {
    const int fd = std::atoi(entry->d_name);
    sockaddr_in local{}, peer{};
    socklen_t localSize = sizeof local, peerSize = sizeof peer;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 || local.sin_family != AF_INET) continue;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) continue;
    if (portOf(local) == clientPort && portOf(peer) == serverPort) found = fd;
  }
  ::closedir(directory);
  return found;
}

// The sequence number the client sends next, read in repair mode.
std::optional<std::uint32_t> nextSequence(int fd) {
  int on = TCP_REPAIR_ON, off = TCP_REPAIR_OFF, queue = TCP_SEND_QUEUE;
  std::uint32_t sequence = 0;
  socklen_t size = sizeof sequence;
  if (::setsockopt(fd, IPPROTO_TCP, TCP_REPAIR, &on, sizeof on) != 0) return std::nullopt;
  const bool read = ::setsockopt(fd, IPPROTO_TCP, TCP_REPAIR_QUEUE, &queue, sizeof queue) == 0 &&
                    ::getsockopt(fd, IPPROTO_TCP, TCP_QUEUE_SEQ, &sequence, &size) == 0;
  ::setsockopt(fd, IPPROTO_TCP, TCP_REPAIR, &off, sizeof off);
  if (!read) return std::nullopt;
  return sequence;
}

std::uint16_t checksum(const std::uint8_t* data, std::size_t size) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < size; i += 2) sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
  if (size % 2) sum += static_cast<std::uint32_t>(data[size - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return htons(static_cast<std::uint16_t>(~sum));
}

std::string failure(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

std::string reportHostUnreachable(std::uint16_t clientPort, std::uint16_t serverPort) {
  const int sender = ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
  if (sender < 0) return failure("no raw socket");
  const auto fd = findClientSocket(clientPort, serverPort);
  if (!fd) {
    ::close(sender);
    return "no such connection";
  }
  const int on = 1;
  const auto sequence = nextSequence(*fd);
  if (!sequence || ::setsockopt(*fd, SOL_IP, IP_RECVERR, &on, sizeof on) != 0) {
    const std::string why = failure("cannot reach into the socket");
    ::close(sender);
    return why;
  }
  // ICMP header, then the quoted IP header and the first 8 bytes of TCP.
  std::vector<std::uint8_t> message(sizeof(icmphdr) + sizeof(iphdr) + 8);
  auto* icmp = reinterpret_cast<icmphdr*>(message.data());
  icmp->type = ICMP_DEST_UNREACH;
  icmp->code = ICMP_HOST_UNREACH;
  auto* quoted = reinterpret_cast<iphdr*>(message.data() + sizeof(icmphdr));
  quoted->version = 4;
  quoted->ihl = 5;
  quoted->ttl = 64;
  quoted->protocol = IPPROTO_TCP;
  quoted->tot_len = htons(sizeof(iphdr) + sizeof(tcphdr));
  quoted->saddr = quoted->daddr = htonl(INADDR_LOOPBACK);
  quoted->check = checksum(reinterpret_cast<const std::uint8_t*>(quoted), sizeof(iphdr));
  std::uint8_t* tcp = message.data() + sizeof(icmphdr) + sizeof(iphdr);
  const std::uint16_t ports[] = {htons(clientPort), htons(serverPort)};
  const std::uint32_t sequenceField = htonl(*sequence);
  std::memcpy(tcp, ports, sizeof ports);
  std::memcpy(tcp + 4, &sequenceField, sizeof sequenceField);
  icmp->checksum = checksum(message.data(), message.size());

  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool sent = ::sendto(sender, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&target),
                             sizeof target) == static_cast<ssize_t>(message.size());
  const std::string why = sent ? std::string() : failure("cannot send the report");
  ::close(sender);
  return why;
}

}  // namespace platform::testing
