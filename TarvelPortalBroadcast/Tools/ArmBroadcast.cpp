// arm-broadcast: stores the RTMP URL and the stream key for the next
// broadcast, as the portal app does when the page arms one. Both are read
// from standard input, one a line, so the key never shows in a command line.
#include <iostream>
#include <string>

#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"

int main() {
  std::string url, key;
  if (!std::getline(std::cin, url) || !std::getline(std::cin, key) || url.empty() || key.empty()) {
    std::cerr << "arm-broadcast: give the RTMP URL and the stream key on standard input, one a line\n";
    return 2;
  }
  tarvelportalbroadcast::saveBroadcastConfig(url, key);
  if (!tarvelportalbroadcast::readBroadcastConfig()) {
    std::cerr << "arm-broadcast: the shared settings cannot be written\n";
    return 1;
  }
  return 0;
}
