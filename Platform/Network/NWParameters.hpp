#pragma once

#include "Platform/Network/DispatchQoS.hpp"

namespace platform {

// How a connection talks to its peer: plain TCP, or TLS 1.2 or later over TCP
// with the peer's certificate checked against the system's trust store (or
// the file SSL_CERT_FILE names) and its host name, SNI sent.
struct NWParameters {
  enum class Security { none, tls };
  Security security = Security::none;
  DispatchQoS qualityOfService = DispatchQoS::standard;

  static NWParameters tcp(DispatchQoS qualityOfService = DispatchQoS::standard) {
    return {Security::none, qualityOfService};
  }
  static NWParameters tls(DispatchQoS qualityOfService = DispatchQoS::standard) {
    return {Security::tls, qualityOfService};
  }
};

}  // namespace platform
