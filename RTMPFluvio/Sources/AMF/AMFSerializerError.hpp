#pragma once

#include <exception>

namespace rtmpfluvio {

class AMFSerializerError : public std::exception {
 public:
  enum class Case {
    // A marker the reader does not accept, a reference to a value of the
    // wrong kind, nesting too deep, or a number that is no integer.
    deserialize,
    // A reference index beyond its table.
    outOfIndex,
    // A value the format cannot carry, such as a key over 65,535 bytes.
    serialize,
  };

  explicit AMFSerializerError(Case errorCase) noexcept : case_(errorCase) {}
  Case errorCase() const noexcept { return case_; }
  const char* what() const noexcept override;

 private:
  Case case_;
};

}  // namespace rtmpfluvio
