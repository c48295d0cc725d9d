#include "Platform/CoreImage/CIContext.hpp"

namespace platform {

// Until the GL evaluator exists, there is no GPU context.
std::shared_ptr<CIContext> CIContext::makeGPU(const CIContextOptions&) { return nullptr; }

}  // namespace platform
