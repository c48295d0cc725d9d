#include "Platform/CoreImage/CIContext.hpp"

#include "Platform/CoreImage/CIGPUEvaluator.hpp"

namespace platform {

std::shared_ptr<CIContext> CIContext::makeGPU(const CIContextOptions& options) {
  auto evaluator = CIGPUEvaluator::make(options.workingFormat);
  if (!evaluator) return nullptr;
  return std::make_shared<CIContext>(std::move(evaluator), options, true);
}

}  // namespace platform
