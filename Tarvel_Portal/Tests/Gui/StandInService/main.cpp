// Stands in for the broadcast service in the app's tests: reads the armed
// stream from the shared settings, connects to the ingest's host and port,
// and holds the connection until it is told to stop (SIGTERM), then clears
// the settings as a finished broadcast does.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <regex>
#include <string>

#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"

namespace {

// A connection to the host and port of an "rtmp://ADDRESS:PORT/..." URL; -1 when there is none.
int connectToIngest(const std::string& url) {
  std::smatch parts;
  if (!std::regex_match(url, parts, std::regex(R"(rtmp://([0-9.]+):([0-9]+)/.*)"))) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(std::stoi(parts[2].str())));
  if (inet_pton(AF_INET, parts[1].str().c_str(), &address.sin_addr) != 1) return -1;
  const int connection = socket(AF_INET, SOCK_STREAM, 0);
  if (connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return connection;
  close(connection);
  return -1;
}

}  // namespace

int main() {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigprocmask(SIG_BLOCK, &stop, nullptr);

  const auto config = tarvelportalbroadcast::readBroadcastConfig();
  if (!config) {
    std::fprintf(stderr,
                 "Kein aktiver Stream gefunden. Bitte in der Tarvel-Portal-App zuerst unter \"Live\" einen Stream mit "
                 "\"Bildschirm (Handyspiel)\" starten, bevor die Aufnahme hier gestartet wird.\n");
    return 1;
  }
  const int connection = connectToIngest(config->url);
  if (connection < 0) {
    std::fprintf(stderr, "Verbindung zum Server fehlgeschlagen.\n");
    return 1;
  }
  const std::string hello = "publish " + config->key + "\n";
  if (write(connection, hello.data(), hello.size()) != static_cast<ssize_t>(hello.size())) return 1;
  int signal = 0;
  sigwait(&stop, &signal);
  close(connection);
  tarvelportalbroadcast::clearBroadcastConfig();
  return 0;
}
