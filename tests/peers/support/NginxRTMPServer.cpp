#include "tests/peers/support/NginxRTMPServer.hpp"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace peers {
namespace {

std::string contents(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

NginxRTMPServer::NginxRTMPServer(Options options) : port_(freeLoopbackPort()) {
  const auto& root = directory_.path();
  std::filesystem::create_directories(recordPath());
  std::ofstream config(root / "nginx.conf");
  config << "load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;\n";
  if (!options.tls.empty()) config << "load_module /usr/lib/nginx/modules/ngx_stream_module.so;\n";
  config << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
         << "error_log " << (root / "error.log").string() << " info;\n"
         << "pid " << (root / "nginx.pid").string() << ";\n"
         << "events { worker_connections 64; }\n"
         << "rtmp {\n  server {\n    listen 127.0.0.1:" << port_ << ";\n"
         << "    ping " << options.pingSeconds << "s;\n    ping_timeout " << options.pingSeconds * 2 << "s;\n"
         << "    ack_window " << options.ackWindow << ";\n"
         << "    application live {\n      live on;\n";
  if (options.record) config << "      record all;\n      record_path " << recordPath().string() << ";\n";
  config << "    }\n  }\n}\n";
  if (!options.tls.empty()) {
    config << "stream {\n";
    for (const auto& certificate : options.tls) {
      const std::uint16_t tlsPort = freeLoopbackPort();
      tlsPorts_.push_back(tlsPort);
      config << "  server {\n    listen 127.0.0.1:" << tlsPort << " ssl;\n"
             << "    ssl_certificate " << certificate.certificate.string() << ";\n"
             << "    ssl_certificate_key " << certificate.key.string() << ";\n"
             << "    proxy_pass 127.0.0.1:" << port_ << ";\n  }\n";
    }
    config << "}\n";
  }
  config.close();
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"nginx", "-p", root.string(), "-c", (root / "nginx.conf").string(), "-e",
                               (root / "error.log").string()},
      root / "nginx.out");
  bool listening = waitUntilListening(port_);
  for (const auto tlsPort : tlsPorts_) listening = listening && waitUntilListening(tlsPort);
  if (!listening) throw std::runtime_error("nginx did not start: " + contents(root / "nginx.out") + errorLog());
}

std::string NginxRTMPServer::url(const std::string& streamName) const {
  return "rtmp://127.0.0.1:" + std::to_string(port_) + "/live/" + streamName;
}

std::string NginxRTMPServer::errorLog() const { return contents(directory_.path() / "error.log"); }

int NginxRTMPServer::clientConnections() const {
  std::istringstream log(errorLog());
  int count = 0;
  for (std::string line; std::getline(log, line);) count += line.find("client connected") != std::string::npos;
  return count;
}

FFmpegRTMPListener::FFmpegRTMPListener() : port_(freeLoopbackPort()) {
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "debug", "-listen", "1", "-i",
                               url(), "-f", "null", "-"},
      directory_.path() / "ffmpeg.out");
  if (!waitUntilListening(port_)) throw std::runtime_error("ffmpeg did not listen: " + output());
}

std::string FFmpegRTMPListener::url() const { return "rtmp://127.0.0.1:" + std::to_string(port_) + "/app/key"; }

std::string FFmpegRTMPListener::output() const { return contents(directory_.path() / "ffmpeg.out"); }

FFmpegTestSourcePublisher::FFmpegTestSourcePublisher(const std::string& url) {
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-re", "-f", "lavfi", "-i",
                               "testsrc2=size=640x360:rate=30", "-f", "lavfi", "-i",
                               "sine=frequency=440:sample_rate=44100", "-c:v", "libx264", "-preset", "ultrafast",
                               "-tune", "zerolatency", "-pix_fmt", "yuv420p", "-g", "30", "-c:a", "aac", "-b:a",
                               "128k", "-f", "flv", url},
      directory_.path() / "ffmpeg.out");
}

std::string FFmpegTestSourcePublisher::output() const { return contents(directory_.path() / "ffmpeg.out"); }

}  // namespace peers
