#include "Fluvio/Sources/Codec/VTSessionError.hpp"

namespace fluvio {
namespace {

const char* caseName(VTSessionError::Case errorCase) {
  switch (errorCase) {
    case VTSessionError::Case::failedToCreate:
      return "failedToCreate";
    case VTSessionError::Case::failedToPrepare:
      return "failedToPrepare";
    case VTSessionError::Case::failedToConvert:
      return "failedToConvert";
  }
  return "unknown";
}

}  // namespace

VTSessionError::VTSessionError(Case errorCase, platform::OSStatus status)
    : case_(errorCase),
      status_(status),
      description_(std::string(caseName(errorCase)) + "(status: " + std::to_string(status) + ")") {}

}  // namespace fluvio
