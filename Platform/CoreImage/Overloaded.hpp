#pragma once

namespace platform::detail {

// One visitor of a recipe node variant from several lambdas.
template <class... Visitors>
struct Overloaded : Visitors... {
  using Visitors::operator()...;
};
template <class... Visitors>
Overloaded(Visitors...) -> Overloaded<Visitors...>;

}  // namespace platform::detail
