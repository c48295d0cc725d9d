#include "Platform/Foundation/SearchPath.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace platform {
namespace {

constexpr std::string_view documentsKey = "XDG_DOCUMENTS_DIR";

std::optional<std::string> processEnvironment(std::string_view name) {
  const char* value = std::getenv(std::string(name).c_str());
  if (!value || !*value) return std::nullopt;
  return std::string(value);
}

std::optional<std::string> homeDirectory(const EnvironmentLookup& environment) {
  if (auto home = environment("HOME")) return home;
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found || !found->pw_dir || !*found->pw_dir) {
    return std::nullopt;
  }
  return std::string(found->pw_dir);
}

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.ends_with('/')) path.pop_back();
  return path;
}

// A value as user-dirs.dirs writes it: "$HOME/relative" or "/absolute", in
// double quotes; anything else is not a path.
std::optional<std::string> userDirsPath(std::string_view value, const std::string& home) {
  if (value.size() < 2 || !value.starts_with('"') || !value.ends_with('"')) return std::nullopt;
  value = value.substr(1, value.size() - 2);
  if (value == "$HOME") return home;
  if (value.starts_with("$HOME/")) return home + std::string(value.substr(5));
  if (value.starts_with('/')) return std::string(value);
  return std::nullopt;
}

std::string configHome(const EnvironmentLookup& environment, const std::string& home) {
  return environment("XDG_CONFIG_HOME").value_or(home + "/.config");
}

std::optional<std::string> userDirsEntry(const EnvironmentLookup& environment, const std::string& home) {
  std::ifstream file(configHome(environment, home) + "/user-dirs.dirs");
  std::optional<std::string> found;
  for (std::string line; std::getline(file, line);) {
    std::string_view text = line;
    if (!text.starts_with(documentsKey) || text.substr(documentsKey.size(), 1) != "=") continue;
    // The last assignment wins, as when the shell reads the file.
    if (auto path = userDirsPath(text.substr(documentsKey.size() + 1), home)) found = std::move(path);
  }
  return found;
}

}  // namespace

std::optional<std::string> documentsDirectoryPath(const EnvironmentLookup& environment) {
  const auto home = homeDirectory(environment);
  if (!home) return std::nullopt;
  auto path = userDirsEntry(environment, *home);
  if (!path) path = environment(documentsKey);
  // A documents directory that is the home itself means "not set".
  if (!path || withoutTrailingSlashes(*path) == withoutTrailingSlashes(*home)) path = *home + "/Documents";
  return withoutTrailingSlashes(std::move(*path));
}

std::optional<std::string> configHomePath(const EnvironmentLookup& environment) {
  const auto home = homeDirectory(environment);
  if (!home) return environment("XDG_CONFIG_HOME");
  return withoutTrailingSlashes(configHome(environment, *home));
}

std::optional<std::string> configHomePath() { return configHomePath(processEnvironment); }

std::vector<std::string> searchPathForDirectoriesInDomains(SearchPathDirectory, SearchPathDomainMask,
                                                           bool expandTilde) {
  auto path = documentsDirectoryPath(processEnvironment);
  if (!path) return {};
  if (!expandTilde) {
    const auto home = homeDirectory(processEnvironment);
    if (home && path->starts_with(withoutTrailingSlashes(*home) + "/")) {
      path = "~" + path->substr(withoutTrailingSlashes(*home).size());
    }
  }
  return {std::move(*path)};
}

}  // namespace platform
