#include "tests/peers/support/Process.hpp"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <sys/wait.h>

namespace peers {

ProcessResult run(const std::string& commandLine) {
  ProcessResult result;
  FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
  if (!pipe) throw std::runtime_error("cannot start: " + commandLine);
  std::array<char, 4096> chunk{};
  size_t count = 0;
  while ((count = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) result.output.append(chunk.data(), count);
  int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string quoted(const std::string& argument) {
  std::string out = "'";
  for (char c : argument) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "fluvio-peer-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary directory");
  path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace peers
