#pragma once

#include <gtk/gtk.h>

#include "Tarvel_Portal/Sources/App/BroadcastPickerButton.hpp"
#include "Tarvel_Portal/Sources/App/ContentView.hpp"
#include "Tarvel_Portal/Sources/Controller/PortalURL.hpp"

namespace tarvelportal {

// The desktop app: one window showing the content view. `--start-url` replaces
// the portal address the app was built with. SIGINT and SIGTERM quit cleanly,
// so website data is saved.
class TarvelPortalApp {
 public:
  static int run(int argc, char** argv);

  // The app's window with its header bar and content; also used by tests,
  // which may time its page loads themselves.
  static GtkWidget* makeWindow(GtkApplication* application, const PortalURL& startURL,
                               const BroadcastServiceConfiguration& broadcastService,
                               std::shared_ptr<platform::WKLoadTimer> loadTimer = platform::makeMainLoopLoadTimer());
  // The content view of a window made by `makeWindow`.
  static ContentView& contentView(GtkWidget* window);
  // The app's look: loaded once per display.
  static void loadStyle();
};

}  // namespace tarvelportal
