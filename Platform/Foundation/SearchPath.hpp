#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class SearchPathDirectory {
  documentDirectory,
};

enum class SearchPathDomainMask {
  userDomainMask,
};

// The user's directories, as the desktop's user-dirs configuration names
// them: the documents directory is XDG_DOCUMENTS_DIR of
// $XDG_CONFIG_HOME/user-dirs.dirs (default ~/.config/user-dirs.dirs), else
// the variable of that name in the environment, else ~/Documents. Without a
// home directory there is no entry. Without `expandTilde` a path inside the
// home directory starts with "~".
std::vector<std::string> searchPathForDirectoriesInDomains(SearchPathDirectory directory,
                                                           SearchPathDomainMask domainMask, bool expandTilde);

// The same resolution over a given environment, for callers that have one.
using EnvironmentLookup = std::function<std::optional<std::string>(std::string_view name)>;
std::optional<std::string> documentsDirectoryPath(const EnvironmentLookup& environment);
// The user's configuration directory: $XDG_CONFIG_HOME, else ~/.config;
// nothing without a home directory.
std::optional<std::string> configHomePath(const EnvironmentLookup& environment);
// The same over the process's environment.
std::optional<std::string> configHomePath();

}  // namespace platform
