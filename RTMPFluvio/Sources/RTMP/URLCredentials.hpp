#pragma once

#include <map>
#include <string>
#include <string_view>

namespace rtmpfluvio {

// The URL's text without its user name and password (and the "@" after
// them); everything else stays as written. Credentials are removed even
// from a URL that does not parse, so they never reach the server address
// sent in the connect command.
std::string removingCredentials(std::string_view url);

// The percent-decoded query items that carry a value, a later one replacing
// an earlier one of the same name. Empty when the URL does not parse or has
// no query.
std::map<std::string, std::string> queryDictionary(std::string_view url);

}  // namespace rtmpfluvio
