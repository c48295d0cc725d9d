#pragma once

namespace platform {

// How a connection talks to its peer: plain TCP, or TLS 1.2 or later over TCP
// with the peer's certificate checked against the system's trust store (or
// the file SSL_CERT_FILE names) and its host name, SNI sent.
struct NWParameters {
  enum class Security { none, tls };
  Security security = Security::none;

  static NWParameters tcp() { return {Security::none}; }
  static NWParameters tls() { return {Security::tls}; }
};

}  // namespace platform
