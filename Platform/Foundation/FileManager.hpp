#pragma once

#include <string>

#include "Platform/Foundation/URL.hpp"

namespace platform {

// The file system as the system uses it: existence checks and directory creation.
class FileManager {
 public:
  static FileManager& defaultManager();

  // True for anything at the path, directories included.
  bool fileExists(const std::string& path) const;
  // Creates the directory of a file URL (and, when asked, the missing ones
  // above it); an existing directory is fine. Throws
  // std::filesystem::filesystem_error when it cannot be made, and
  // std::invalid_argument for a URL that is not a file URL.
  void createDirectory(const URL& url, bool withIntermediateDirectories) const;
};

}  // namespace platform
