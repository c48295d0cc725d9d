#include "tests/broadcast/support/NginxIngest.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace broadcast_tests {
namespace {

using namespace std::chrono_literals;

bool accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

}  // namespace

int freeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

NginxIngest::NginxIngest(const std::filesystem::path& directory) : directory_(directory / "ingest") {
  std::filesystem::create_directories(directory_ / "record");
  port_ = freeLoopbackPort();
  std::ofstream(directory_ / "nginx.conf") << "daemon off;\n"
                                              "master_process off;\n"
                                              "worker_processes 1;\n"
                                              "pid "
                                           << (directory_ / "nginx.pid").string()
                                           << ";\n"
                                              "load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;\n"
                                              "error_log "
                                           << (directory_ / "error.log").string()
                                           << " info;\n"
                                              "events { worker_connections 64; }\n"
                                              "rtmp { server {\n"
                                              "  listen 127.0.0.1:"
                                           << port_
                                           << ";\n"
                                              "  chunk_size 8192;\n"
                                              "  application live { live on; record all; record_unique off;\n"
                                              "    record_path "
                                           << (directory_ / "record").string() << "; }\n} }\n";
  server_ = std::make_unique<replaykit_tests::ServiceProcess>(
      std::vector<std::string>{"/usr/sbin/nginx", "-p", directory_.string(), "-e",
                               (directory_ / "error.log").string(), "-c", (directory_ / "nginx.conf").string()},
      std::map<std::string, std::string>{}, directory_);
  ready_ = replaykit_tests::eventually([this] { return accepts(port_); }, 10s);
}

NginxIngest::~NginxIngest() {
  server_->signal(SIGQUIT);
  if (!server_->wait(10s)) server_->signal(SIGKILL);
}

std::filesystem::path NginxIngest::recording(const std::string& streamKey) const {
  return directory_ / "record" / (streamKey + ".flv");
}

int NginxIngest::connections() const {
  std::ifstream log(directory_ / "error.log");
  int count = 0;
  for (std::string line; std::getline(log, line);) {
    if (line.find("client connected") != std::string::npos) ++count;
  }
  return count;
}

void NginxIngest::kill() {
  server_->signal(SIGKILL);
  server_->wait(5s);
}

}  // namespace broadcast_tests
