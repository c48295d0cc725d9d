#pragma once

#include <string>
#include <string_view>

#include "Platform/WebKit/NSError.hpp"

namespace platform {

// The web engine reports a failed load as a GLib error (a domain name and a
// code); this gives the URL-loading error it stands for. Errors of unknown
// domains keep their domain, so callers can tell them from URL errors.
NSError navigationError(std::string_view engineDomain, int engineCode, std::string message);

}  // namespace platform
