// broadcast-service: runs a broadcast extension in this process and feeds it
// the screen and the app audio until SIGINT, SIGTERM or the given time.
#include <signal.h>
#include <sys/prctl.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string_view>

#include "Platform/ReplayKit/Service/BroadcastService.hpp"

namespace {

using namespace platform::broadcastservice;

constexpr std::string_view usage =
    "usage: broadcast-service [--seconds N] [--video auto|screen|synthetic] [--audio auto|pulse|synthetic]\n"
    "                         [--no-microphone] [--principal-class NAME] EXTENSION_MODULE\n"
    "SIGTSTP pauses the broadcast, SIGCONT resumes it, SIGINT or SIGTERM finishes it.\n";

[[noreturn]] void fail(std::string_view text) {
  std::cerr << "broadcast-service: " << text << "\n" << usage;
  std::exit(2);
}

std::optional<BroadcastServiceOptions> parse(int argc, char** argv) {
  BroadcastServiceOptions options;
  for (int index = 1; index < argc; ++index) {
    const std::string_view argument = argv[index];
    const auto value = [&]() -> std::string_view {
      if (index + 1 >= argc) fail(std::string(argument) + " needs a value");
      return argv[++index];
    };
    if (argument == "--help" || argument == "-h") {
      std::cout << usage;
      std::exit(0);
    } else if (argument == "--seconds") {
      const std::string text(value());
      char* rest = nullptr;
      const double seconds = std::strtod(text.c_str(), &rest);
      if (*rest || !(seconds > 0 && seconds < 1e6)) fail("--seconds needs a positive number");
      options.seconds = seconds;
    } else if (argument == "--video") {
      const auto name = value();
      if (name == "auto") options.video = VideoInput::automatic;
      else if (name == "screen") options.video = VideoInput::screen;
      else if (name == "synthetic") options.video = VideoInput::synthetic;
      else fail("unknown video input");
    } else if (argument == "--audio") {
      const auto name = value();
      if (name == "auto") options.audio = AudioInput::automatic;
      else if (name == "pulse") options.audio = AudioInput::pulse;
      else if (name == "synthetic") options.audio = AudioInput::synthetic;
      else fail("unknown audio input");
    } else if (argument == "--no-microphone") {
      options.microphone = false;
    } else if (argument == "--principal-class") {
      options.principalClass = value();
    } else if (argument.starts_with("-") || !options.modulePath.empty()) {
      fail("unexpected argument " + std::string(argument));
    } else {
      options.modulePath = argument;
    }
  }
  if (options.modulePath.empty()) fail("no extension module given");
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const auto options = parse(argc, argv);
  // The encoder asks for huge pages for its picture planes, which makes each
  // one resident in 2 MB steps whether touched or not: megabytes of memory a
  // broadcast never uses.
  prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0);
  // Blocked before any thread starts (the extension's included), so only the
  // service's own wait sees them.
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : {SIGINT, SIGTERM, SIGTSTP, SIGCONT, SIGUSR1}) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  const int code = runBroadcast(*options);
  std::cout.flush();
  std::cerr.flush();
  // The extension's threads may still run: leave without destroying statics under them.
  std::_Exit(code);
}
