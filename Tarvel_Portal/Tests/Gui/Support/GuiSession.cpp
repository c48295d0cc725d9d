#include "Tarvel_Portal/Tests/Gui/Support/GuiSession.hpp"

#include <adwaita.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "Tarvel_Portal/Sources/App/TarvelPortalApp.hpp"

namespace tarvelportal::testing {
namespace {

const char* const webEngineVariables[] = {"WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS",
                                          "WEBKIT_DISABLE_COMPOSITING_MODE"};

class GuiSessionEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // Containers running as root have no namespaces for the engine's sandbox;
    // without compositing, screenshots are the same on every machine.
    setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
    setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
    const auto failure = guitesting::DisplaySession::start();
    ASSERT_FALSE(failure) << *failure;
    gtk_init();
    adw_init();
    TarvelPortalApp::loadStyle();
  }

  void TearDown() override { guitesting::DisplaySession::end(); }
};

[[maybe_unused]] const auto* const registered = ::testing::AddGlobalTestEnvironment(new GuiSessionEnvironment);

}  // namespace

const std::filesystem::path& GuiSession::home() { return guitesting::DisplaySession::home(); }

std::vector<std::string> GuiSession::environment() {
  auto result = guitesting::DisplaySession::environment();
  for (const auto* name : webEngineVariables) {
    if (const char* value = std::getenv(name)) result.push_back(std::string(name) + "=" + value);
  }
  return result;
}

}  // namespace tarvelportal::testing
