#include "Platform/ReplayKit/Tests/Support/ServiceProcess.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "Platform/Concurrency/Tests/Support/ProcessExit.hpp"

extern char** environ;

namespace replaykit_tests {
namespace {

std::string contents(const std::filesystem::path& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

}  // namespace

ServiceProcess::ServiceProcess(const std::vector<std::string>& arguments,
                               const std::map<std::string, std::string>& environment,
                               const std::filesystem::path& outputDirectory)
    : stdout_(outputDirectory / "stdout"), stderr_(outputDirectory / "stderr") {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const auto equals = text.find('=');
    if (equals != std::string::npos) merged[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : environment) merged[name] = value;
  std::vector<std::string> environmentText;
  for (const auto& [name, value] : merged) environmentText.push_back(name + "=" + value);

  std::vector<char*> argv, envp;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  for (const auto& entry : environmentText) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdout_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderr_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // The child starts with no signal blocked, whatever the test's threads do.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  const int result = posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (result != 0) throw std::runtime_error("cannot start " + arguments.front());
}

ServiceProcess::~ServiceProcess() {
  if (!exitCode_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

void ServiceProcess::signal(int number) const { ::kill(pid_, number); }

std::optional<int> ServiceProcess::wait(std::chrono::milliseconds limit) {
  if (exitCode_ || !platform::testing::exitsWithin(pid_, limit)) return exitCode_;
  int status = 0;
  rusage usage{};
  if (::wait4(pid_, &status, WNOHANG, &usage) != pid_) return exitCode_;
  peakResidentBytes_ = static_cast<std::size_t>(usage.ru_maxrss) * 1024;
  exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return exitCode_;
}

std::string ServiceProcess::standardOutput() const { return contents(stdout_); }
std::string ServiceProcess::standardError() const { return contents(stderr_); }

}  // namespace replaykit_tests
