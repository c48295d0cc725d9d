#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace rtmpfluvio {

// A chunk stream that breaks the protocol; the connection closes on it.
class RTMPChunkError : public std::exception {
 public:
  enum class Case {
    // A chunk size of 0 or with the top bit set.
    invalidChunkSize,
    // A message longer than this side accepts (received) or than the 24-bit
    // length field carries (sent).
    messageTooLong,
    // A peer that opens more chunk streams than this side keeps.
    tooManyChunkStreams,
    // A peer whose messages would make this side buffer more than it holds.
    bufferLimitExceeded,
    // A set-chunk-size message too short to carry its size.
    malformedChunkSize,
  };

  RTMPChunkError(Case errorCase, std::uint64_t value);
  Case errorCase() const noexcept { return case_; }
  // The refused chunk size, message length, chunk stream count, buffered
  // byte count or payload length.
  std::uint64_t value() const noexcept { return value_; }
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  Case case_;
  std::uint64_t value_;
  std::string text_;
};

}  // namespace rtmpfluvio
