#pragma once

#include <exception>

namespace platform {

// Why a continuation was resumed without a value from its producer.
class ContinuationError : public std::exception {
 public:
  enum class Case { timedOut, abandoned };

  explicit ContinuationError(Case which) : case_(which) {}
  Case which() const noexcept { return case_; }
  const char* what() const noexcept override {
    return case_ == Case::timedOut ? "timedOut" : "abandoned";
  }

 private:
  Case case_;
};

}  // namespace platform
