#include "tests/peers/support/ChildProcess.hpp"

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Platform/Concurrency/Tests/Support/Eventually.hpp"
#include "Platform/Concurrency/Tests/Support/ProcessExit.hpp"

extern char** environ;

namespace peers {

ChildProcess::ChildProcess(std::vector<std::string> arguments, const std::filesystem::path& outputFile) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int result = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) throw std::runtime_error("cannot start " + arguments.front());
}

ChildProcess::~ChildProcess() { stop(); }

bool ChildProcess::isRunning() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == 0) return true;
  pid_ = -1;
  return false;
}

void ChildProcess::stop() {
  if (!isRunning()) return;
  ::kill(pid_, SIGTERM);
  platform::testing::exitsWithin(pid_, std::chrono::seconds(2));
  if (isRunning()) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

void ChildProcess::kill() {
  if (!isRunning()) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::uint16_t freeLoopbackPort() {
  const int descriptor = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(descriptor);
  return ntohs(address.sin_port);
}

bool waitUntilListening(std::uint16_t port, std::chrono::milliseconds deadline) {
  char wanted[32];
  std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
  // The kernel announces no listener: its socket table is read until it shows one.
  return platform::testing::eventually(
      [&] {
        std::ifstream table("/proc/net/tcp");
        std::string line;
        while (std::getline(table, line)) {
          // local address, remote address, state 0A = listening
          if (line.find(wanted) != std::string::npos && line.find(" 0A ") != std::string::npos) return true;
        }
        return false;
      },
      deadline);
}

}  // namespace peers
