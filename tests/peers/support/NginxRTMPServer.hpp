#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/peers/support/ChildProcess.hpp"
#include "tests/peers/support/Process.hpp"

namespace peers {

// nginx with the RTMP module on a free 127.0.0.1 port, with its own
// configuration and temporary directory; application "live". Optionally it
// records every publication as FLV, and terminates TLS in front of the RTMP
// port on one more port per certificate.
class NginxRTMPServer {
 public:
  struct TLSCertificate {
    std::filesystem::path certificate;
    std::filesystem::path key;
  };
  struct Options {
    bool record = false;
    // Seconds between the server's pings; it drops a client that does not answer.
    int pingSeconds = 1;
    // The server's acknowledgement window, in bytes.
    int ackWindow = 5000000;
    std::vector<TLSCertificate> tls;
  };

  explicit NginxRTMPServer(Options options);

  std::uint16_t port() const noexcept { return port_; }
  // The TLS port in front of RTMP, one per certificate in the options.
  std::uint16_t tlsPort(std::size_t index = 0) const { return tlsPorts_.at(index); }
  std::string url(const std::string& streamName = "stream") const;
  // Where recordings go: <streamName>.flv.
  std::filesystem::path recordPath() const { return directory_.path() / "record"; }
  std::string errorLog() const;
  // How many RTMP clients have connected so far, as the server logged them.
  int clientConnections() const;
  // Ends the server at once: its clients' connections drop.
  void kill() { process_->kill(); }

 private:
  TemporaryDirectory directory_;
  std::uint16_t port_;
  std::vector<std::uint16_t> tlsPorts_;
  std::unique_ptr<ChildProcess> process_;
};

// `ffmpeg -listen 1` as an RTMP server for one publication to
// rtmp://127.0.0.1:PORT/app/key, writing what it receives nowhere.
class FFmpegRTMPListener {
 public:
  FFmpegRTMPListener();

  std::uint16_t port() const noexcept { return port_; }
  std::string url() const;
  std::string output() const;

 private:
  TemporaryDirectory directory_;
  std::uint16_t port_;
  std::unique_ptr<ChildProcess> process_;
};

// ffmpeg publishing a live test source (testsrc2 picture, sine tone) as
// H.264 and AAC at real-time pace to an RTMP URL, until the object goes.
class FFmpegTestSourcePublisher {
 public:
  explicit FFmpegTestSourcePublisher(const std::string& url);

  std::string output() const;

 private:
  TemporaryDirectory directory_;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace peers
