#pragma once

#include <exception>
#include <string>

#include "Platform/CoreMedia/OSStatus.hpp"

namespace fluvio {

// A session could not be made, prepared or fed; carries the platform status.
class VTSessionError : public std::exception {
 public:
  enum class Case { failedToCreate, failedToPrepare, failedToConvert };

  VTSessionError(Case errorCase, platform::OSStatus status);

  Case errorCase() const noexcept { return case_; }
  platform::OSStatus status() const noexcept { return status_; }
  // "failedToCreate(status: -12902)".
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  Case case_;
  platform::OSStatus status_;
  std::string description_;
};

}  // namespace fluvio
