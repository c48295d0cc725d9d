#include "tests/peers/support/ChildProcess.hpp"

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <random>
#include <spawn.h>
#include <stdexcept>
#include <sys/file.h>
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

namespace {

bool bindable(std::uint16_t port) {
  const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (descriptor < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  const bool bound = ::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(descriptor);
  return bound;
}

}  // namespace

// Below the kernel's ephemeral range, so no socket is given one of these on
// its own between the pick and the server's bind; each pick is claimed with a
// lock on a file of its own, held until this process ends, so that tests
// running at once (and two picks in one test) never get the same port.
std::uint16_t freeLoopbackPort() {
  constexpr int kFirst = 20000;
  constexpr int kLast = 32767;
  static std::mutex mutex;
  const std::lock_guard lock(mutex);
  static std::mt19937 random(std::random_device{}());
  const auto claims = std::filesystem::temp_directory_path() / ("fluvio-test-ports-" + std::to_string(::getuid()));
  std::filesystem::create_directories(claims);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const auto port = static_cast<std::uint16_t>(std::uniform_int_distribution<int>(kFirst, kLast)(random));
    const int claim = ::open((claims / std::to_string(port)).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (claim < 0) continue;
    // Left open on success: the lock goes with the process.
    if (::flock(claim, LOCK_EX | LOCK_NB) == 0 && bindable(port)) return port;
    ::close(claim);
  }
  throw std::runtime_error("no free loopback port to claim");
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
