#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "Fluvio/Sources/View/MTFVView.hpp"

namespace fluvio {

// A GTK widget that shows an MTFVView: whenever the view asks for a redraw it
// draws the view into a drawable of its own pixel size (kept while the size
// stays) and paints that picture. Use on the GTK thread, with the view's main
// actor on the same loop.
GtkWidget* makeMTFVViewWidget(std::shared_ptr<MTFVView> view);

}  // namespace fluvio
