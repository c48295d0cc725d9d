#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "tests/peers/support/NginxRTMPServer.hpp"

namespace peers {

// A certificate authority made at test time, with its certificate in PEM in
// a directory of its own (point SSL_CERT_FILE at `certificateFile` to trust
// it), issuing server certificates for a host name.
class TestCertificateAuthority {
 public:
  TestCertificateAuthority();
  ~TestCertificateAuthority();

  std::filesystem::path certificateFile() const { return directory_.path() / "ca.pem"; }
  // A certificate for `hostName` (DNS name), valid from `notBefore` to
  // `notAfter` from now, with its key; files named after `name`.
  NginxRTMPServer::TLSCertificate issue(const std::string& name, const std::string& hostName,
                                        std::chrono::hours notBefore = std::chrono::hours(-1),
                                        std::chrono::hours notAfter = std::chrono::hours(24));
  // The same, valid now, with an RSA key of 2,048 bits in place of the EC
  // one: for a server whose suites exchange keys by RSA.
  NginxRTMPServer::TLSCertificate issueRSA(const std::string& name, const std::string& hostName);

 private:
  struct Keys;
  enum class KeyKind { ec, rsa };
  NginxRTMPServer::TLSCertificate issueWith(KeyKind kind, const std::string& name, const std::string& hostName,
                                            std::chrono::hours notBefore, std::chrono::hours notAfter);
  TemporaryDirectory directory_;
  std::unique_ptr<Keys> keys_;
};

// Points SSL_CERT_FILE at one certificate file while it lives, so the TLS
// layer trusts only that; the previous value comes back afterwards.
class TrustedCertificateFile {
 public:
  explicit TrustedCertificateFile(const std::filesystem::path& file);
  ~TrustedCertificateFile();
  TrustedCertificateFile(const TrustedCertificateFile&) = delete;
  TrustedCertificateFile& operator=(const TrustedCertificateFile&) = delete;

 private:
  std::optional<std::string> previous_;
};

}  // namespace peers
