#include "Platform/Foundation/UserDefaults.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "Platform/Foundation/SearchPath.hpp"
#include "Platform/OSLog/OSLog.hpp"

namespace platform {
namespace {

// A suite holds a few settings; anything larger is not one of our files.
constexpr std::size_t maximumFileSize = 1 << 20;
constexpr std::string_view directoryName = "defaults";

const OSLog& log() {
  static const OSLog instance("Foundation", "UserDefaults");
  return instance;
}

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const noexcept { return fd_; }
  bool valid() const noexcept { return fd_ >= 0; }

 private:
  int fd_;
};

// Ours, and nobody else may change it.
bool isSafe(const struct stat& status) {
  return status.st_uid == ::geteuid() && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool isSafeRegularFile(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && isSafe(status);
}

bool isSafeDirectory(const std::filesystem::path& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && isSafe(status);
}

bool isPlainFileName(std::string_view name) {
  return !name.empty() && name.size() <= 200 && !name.starts_with('.') &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

bool makeDirectory(const std::filesystem::path& path) {
  return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

enum class ReadOutcome { values, refused };

// The file's values: empty when it does not exist or does not parse; refused
// when it is not safely ours or cannot be read.
std::pair<ReadOutcome, UserDefaults::Values> readValues(const std::filesystem::path& file) {
  FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) {
    if (errno == ENOENT) return {ReadOutcome::values, UserDefaults::Values::object()};
    return {ReadOutcome::refused, {}};
  }
  if (!isSafeRegularFile(fd.get())) return {ReadOutcome::refused, {}};
  std::string text;
  char chunk[8192];
  for (;;) {
    const ssize_t count = ::read(fd.get(), chunk, sizeof chunk);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return {ReadOutcome::refused, {}};
    if (count == 0) break;
    text.append(chunk, static_cast<std::size_t>(count));
    if (text.size() > maximumFileSize) break;
  }
  if (auto values = UserDefaults::decode(text)) return {ReadOutcome::values, std::move(*values)};
  log().log(OSLogType::error, "defaults file " + file.string() + " is not a settings object; read as empty");
  return {ReadOutcome::values, UserDefaults::Values::object()};
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

// Writes `bytes` to a temporary file beside `file`, flushes it to the disk
// and renames it over `file`, so the file is either the old or the new one.
bool replaceFile(const std::filesystem::path& directory, const std::filesystem::path& file, std::string_view bytes) {
  std::string temporary = (directory / ("." + file.filename().string() + ".XXXXXX")).string();
  FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd.valid()) return false;
  const bool written = ::fchmod(fd.get(), 0600) == 0 && writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0 &&
                       ::rename(temporary.c_str(), file.c_str()) == 0;
  if (!written) {
    ::unlink(temporary.c_str());
    return false;
  }
  FileDescriptor directoryFd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directoryFd.valid()) ::fsync(directoryFd.get());
  return true;
}

// Holds the suite's exclusive lock while alive.
class SuiteLock {
 public:
  explicit SuiteLock(const std::filesystem::path& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)) {
    if (!fd_.valid() || !isSafeRegularFile(fd_.get())) return;
    int result;
    do {
      result = ::flock(fd_.get(), LOCK_EX);
    } while (result != 0 && errno == EINTR);
    held_ = result == 0;
  }
  bool held() const noexcept { return held_; }

 private:
  FileDescriptor fd_;
  bool held_ = false;
};

}  // namespace

UserDefaults::UserDefaults(std::filesystem::path directory, const std::string& suiteName)
    : directory_(std::move(directory)),
      file_(directory_ / (suiteName + ".json")),
      lock_(directory_ / (suiteName + ".json.lock")) {}

std::optional<UserDefaults> UserDefaults::make(std::string_view suiteName) {
  const auto configHome = configHomePath();
  if (!configHome) return std::nullopt;
  return make(suiteName, *configHome);
}

std::optional<UserDefaults> UserDefaults::make(std::string_view suiteName, const std::filesystem::path& configHome) {
  if (!isPlainFileName(suiteName) || configHome.empty()) return std::nullopt;
  std::error_code error;
  if (!std::filesystem::is_directory(configHome, error)) {
    std::filesystem::create_directories(configHome, error);
    if (error) return std::nullopt;
    ::chmod(configHome.c_str(), 0700);
  }
  const auto directory = configHome / directoryName;
  if (!makeDirectory(directory) || !isSafeDirectory(directory)) return std::nullopt;
  return UserDefaults(directory, std::string(suiteName));
}

std::optional<UserDefaults::Values> UserDefaults::decode(std::string_view text) {
  if (text.size() > maximumFileSize) return std::nullopt;
  auto values = Values::parse(text, nullptr, false);
  if (!values.is_object()) return std::nullopt;
  return values;
}

std::optional<UserDefaults::Values> UserDefaults::dictionaryRepresentation() const {
  auto [outcome, values] = readValues(file_);
  if (outcome == ReadOutcome::refused) return std::nullopt;
  return std::move(values);
}

std::optional<std::string> UserDefaults::string(std::string_view key) const {
  const auto values = dictionaryRepresentation();
  if (!values) return std::nullopt;
  const auto found = values->find(key);
  if (found == values->end() || !found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

bool UserDefaults::set(std::string_view value, std::string_view key) {
  return update([&](Values& values) { values[std::string(key)] = std::string(value); });
}

bool UserDefaults::removeObject(std::string_view key) {
  return update([&](Values& values) { values.erase(std::string(key)); });
}

bool UserDefaults::update(const std::function<void(Values&)>& change) {
  if (!isSafeDirectory(directory_)) return false;
  const SuiteLock lock(lock_);
  if (!lock.held()) return false;
  auto [outcome, values] = readValues(file_);
  if (outcome == ReadOutcome::refused) return false;
  change(values);
  // Text that is not UTF-8 is stored with replacement characters rather than
  // failing the whole change.
  const auto text = values.dump(2, ' ', false, Values::error_handler_t::replace) + "\n";
  return replaceFile(directory_, file_, text);
}

}  // namespace platform
