#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace platform {

// A named defaults suite shared by several programs of one user: one JSON
// object in <config home>/defaults/<suite>.json, mode 0600 in a 0700
// directory. Every change is a locked read-modify-write that replaces the
// file atomically, so a reader always sees one whole version and writers
// from several processes never lose each other's changes. A file or
// directory that another user owns, that others may write, or that is a
// symbolic link is refused ("cannot be opened"); a file that does not parse
// reads as empty and is replaced by the next change.
class UserDefaults {
 public:
  // A JSON object of key to value.
  using Values = nlohmann::json;

  // Nothing when the suite cannot be opened: no configuration directory, a
  // name that is not a plain file name, or a directory that is not safely ours.
  static std::optional<UserDefaults> make(std::string_view suiteName);
  static std::optional<UserDefaults> make(std::string_view suiteName, const std::filesystem::path& configHome);

  // Parses a suite's file contents: nothing unless it is one JSON object of
  // bounded size.
  static std::optional<Values> decode(std::string_view text);

  const std::filesystem::path& filePath() const noexcept { return file_; }

  // Every value, read at once; nothing when the file cannot be opened.
  std::optional<Values> dictionaryRepresentation() const;
  // The value under `key` when it is a string.
  std::optional<std::string> string(std::string_view key) const;

  // Each returns false, changing nothing, when the file cannot be opened or
  // written.
  bool set(std::string_view value, std::string_view key);
  bool removeObject(std::string_view key);
  // Applies `change` to the current values under the suite's lock and
  // stores the result as one new version of the file.
  bool update(const std::function<void(Values&)>& change);

 private:
  explicit UserDefaults(std::filesystem::path directory, const std::string& suiteName);

  std::filesystem::path directory_;
  std::filesystem::path file_;
  std::filesystem::path lock_;
};

}  // namespace platform
