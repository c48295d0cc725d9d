#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Concurrency/Tests/Support/Eventually.hpp"

namespace replaykit_tests {

// A program started by a test, its output going to files, with the
// environment the test gives on top of its own. Killed on destruction if it
// still runs.
class ServiceProcess {
 public:
  ServiceProcess(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& environment,
                 const std::filesystem::path& outputDirectory);
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  void signal(int number) const;
  // The exit code once it has exited within `limit`; nothing otherwise
  // (the process is then still running). A death by signal gives 128 + it.
  std::optional<int> wait(std::chrono::milliseconds limit);

  // The most memory it held at once; known once it has exited.
  std::size_t peakResidentBytes() const { return peakResidentBytes_; }
  std::string standardOutput() const;
  std::string standardError() const;

 private:
  pid_t pid_ = -1;
  std::optional<int> exitCode_;
  std::size_t peakResidentBytes_ = 0;
  std::filesystem::path stdout_;
  std::filesystem::path stderr_;
};

// What a service shows (its files, its output) is polled: it announces nothing.
using platform::testing::eventually;

}  // namespace replaykit_tests
