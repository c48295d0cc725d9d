#include "tests/gui/support/DisplaySession.hpp"

#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace guitesting {
namespace {

std::filesystem::path sessionHome;
std::optional<std::string> failure;
bool started = false;

const char* const sessionVariables[] = {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR",
                                        "DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "GSK_RENDERER", "GTK_A11Y",
                                        "NO_AT_BRIDGE", "GDK_BACKEND"};

std::string firstLine(GSubprocess* process) {
  auto* lines = g_data_input_stream_new(g_subprocess_get_stdout_pipe(process));
  gchar* line = g_data_input_stream_read_line(lines, nullptr, nullptr, nullptr);
  std::string result = line != nullptr ? line : "";
  g_free(line);
  g_object_unref(lines);
  return result;
}

std::optional<std::string> startSession() {
  char pattern[] = "/tmp/gui-session-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return "no session directory";
  sessionHome = pattern;
  for (const auto* name : {"config", "data", "cache", "runtime"}) {
    std::filesystem::create_directory(sessionHome / name);
  }
  std::filesystem::permissions(sessionHome / "runtime", std::filesystem::perms::owner_all);
  setenv("XDG_CONFIG_HOME", (sessionHome / "config").c_str(), 1);
  setenv("XDG_DATA_HOME", (sessionHome / "data").c_str(), 1);
  setenv("XDG_CACHE_HOME", (sessionHome / "cache").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (sessionHome / "runtime").c_str(), 1);
  setenv("GSK_RENDERER", "cairo", 1);
  setenv("GTK_A11Y", "none", 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  setenv("GDK_BACKEND", "x11", 1);
  unsetenv("WAYLAND_DISPLAY");

  if (gchar* path = g_find_program_in_path("Xvfb")) {
    g_free(path);
  } else {
    return "Xvfb is not installed";
  }
  // -displayfd: the server takes a free display number and prints it.
  auto* xserver = spawnTiedToTest({"Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"},
                                  G_SUBPROCESS_FLAGS_STDOUT_PIPE);
  const auto display = xserver != nullptr ? firstLine(xserver) : "";
  if (display.empty()) return "Xvfb did not start";
  setenv("DISPLAY", (":" + display).c_str(), 1);

  auto* bus = spawnTiedToTest({"dbus-daemon", "--session", "--nofork", "--print-address=1"},
                              G_SUBPROCESS_FLAGS_STDOUT_PIPE);
  const auto address = bus != nullptr ? firstLine(bus) : "";
  if (address.empty()) return "dbus-daemon did not start";
  setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> DisplaySession::start() {
  if (!started) {
    started = true;
    failure = startSession();
  }
  return failure;
}

void DisplaySession::end() {
  if (sessionHome.empty()) return;
  // The web engine's helper processes live until the program ends and may
  // still drop files there (journals, caches): one vanishing under the walk
  // is no failure, the walk goes again over what is left.
  std::error_code error;
  for (int walk = 0; walk < 10; ++walk) {
    std::filesystem::remove_all(sessionHome, error);
    if (error != std::errc::no_such_file_or_directory) break;
  }
  if (error) std::fprintf(stderr, "left %s: %s\n", sessionHome.c_str(), error.message().c_str());
}

const std::filesystem::path& DisplaySession::home() { return sessionHome; }

std::vector<std::string> DisplaySession::environment() {
  std::vector<std::string> result;
  for (const auto* name : sessionVariables) {
    if (const char* value = std::getenv(name)) result.push_back(std::string(name) + "=" + value);
  }
  return result;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  // Wakes the loop now and then so a condition that changes without an event
  // (a child process, a file) is seen too.
  const guint tick = g_timeout_add(50, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
  bool met = condition();
  while (!met && std::chrono::steady_clock::now() < deadline) {
    g_main_context_iteration(nullptr, TRUE);
    met = condition();
  }
  g_source_remove(tick);
  return met;
}

void waitForFrames(GtkWidget* widget) {
  int frames = 0;
  const guint tick = gtk_widget_add_tick_callback(
      widget,
      [](GtkWidget*, GdkFrameClock*, gpointer data) -> gboolean {
        ++*static_cast<int*>(data);
        return G_SOURCE_CONTINUE;
      },
      &frames, nullptr);
  waitUntil([&] { return frames >= 3; });
  gtk_widget_remove_tick_callback(widget, tick);
}

GSubprocess* spawnTiedToTest(const std::vector<std::string>& argv, GSubprocessFlags flags,
                             const std::vector<std::string>& environment) {
  auto* launcher = g_subprocess_launcher_new(flags);
  g_subprocess_launcher_set_child_setup(
      launcher, [](gpointer) { prctl(PR_SET_PDEATHSIG, SIGTERM); }, nullptr, nullptr);
  for (const auto& entry : environment) {
    const auto equals = entry.find('=');
    g_subprocess_launcher_setenv(launcher, entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), TRUE);
  }
  std::vector<const char*> arguments;
  for (const auto& argument : argv) arguments.push_back(argument.c_str());
  arguments.push_back(nullptr);
  GError* error = nullptr;
  auto* process = g_subprocess_launcher_spawnv(launcher, arguments.data(), &error);
  g_object_unref(launcher);
  if (process == nullptr) {
    ADD_FAILURE() << "cannot start " << argv[0] << ": " << error->message;
    g_error_free(error);
  }
  return process;
}

}  // namespace guitesting
