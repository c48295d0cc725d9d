#include "Platform/Concurrency/BlockOn.hpp"

#include <asio/co_spawn.hpp>
#include <asio/use_future.hpp>

namespace platform::detail {

void runBlocking(Async<void> body, Executor executor) {
  if (onPoolThread()) throw RuntimeError(RuntimeError::Case::blockingOnPoolThread);
  refuseIfShutDown(executor);
  asio::co_spawn(executor, std::move(body), asio::use_future).get();
}

}  // namespace platform::detail
