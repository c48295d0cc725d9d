#include "tests/peers/support/NginxRTMPServer.hpp"

#include <fstream>
#include <stdexcept>

namespace peers {

NginxRTMPServer::NginxRTMPServer() : port_(freeLoopbackPort()) {
  const auto& root = directory_.path();
  std::ofstream(root / "nginx.conf")
      << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
      << "error_log " << (root / "error.log").string() << " info;\npid " << (root / "nginx.pid").string() << ";\n"
      << "load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;\n"
      << "events { worker_connections 64; }\n"
      << "rtmp { server { listen 127.0.0.1:" << port_ << "; chunk_size 4096;\n"
      << "  application live { live on; record all; record_path " << root.string() << "; record_unique off; } } }\n";
  process_ = std::make_unique<BackgroundProcess>(
      std::vector<std::string>{"nginx", "-p", root.string(), "-e", (root / "error.log").string(), "-c",
                               (root / "nginx.conf").string()},
      (root / "nginx.out").string());
  if (!waitForListener(port_)) throw std::runtime_error("nginx did not start on port " + std::to_string(port_));
}

std::string NginxRTMPServer::url() const { return "rtmp://127.0.0.1:" + std::to_string(port_) + "/live"; }

}  // namespace peers
