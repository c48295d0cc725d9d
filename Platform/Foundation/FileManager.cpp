#include "Platform/Foundation/FileManager.hpp"

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace platform {

FileManager& FileManager::defaultManager() {
  static FileManager manager;
  return manager;
}

bool FileManager::fileExists(const std::string& path) const {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(path, error)) && !error;
}

void FileManager::createDirectory(const URL& url, bool withIntermediateDirectories) const {
  if (!url.isFileURL()) throw std::invalid_argument("not a file URL: " + url.absoluteString());
  const std::filesystem::path path = url.path();
  std::error_code error;
  if (withIntermediateDirectories) {
    std::filesystem::create_directories(path, error);
  } else {
    std::filesystem::create_directory(path, error);
  }
  if (error) throw std::filesystem::filesystem_error("cannot create directory", path, error);
  if (!std::filesystem::is_directory(path)) {
    throw std::filesystem::filesystem_error("not a directory", path, std::make_error_code(std::errc::not_a_directory));
  }
}

}  // namespace platform
