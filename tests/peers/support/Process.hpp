#pragma once

#include <filesystem>
#include <string>

namespace peers {

struct ProcessResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error together
};

// Runs a shell command line and collects what it prints.
ProcessResult run(const std::string& commandLine);

// Quotes one argument for the shell.
std::string quoted(const std::string& argument);

// A fresh directory below the system's temporary one, removed on destruction.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace peers
