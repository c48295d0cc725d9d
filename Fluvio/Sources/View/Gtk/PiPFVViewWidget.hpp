#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "Fluvio/Sources/View/PiPFVView.hpp"

namespace fluvio {

// A GTK widget that shows a PiPFVView's display layer: the layer's background
// colour, and over it the frame the layer shows now, fitted by the layer's
// gravity. While frames wait in the layer it looks at every frame clock tick.
// Use on the GTK thread, with the view's main actor on the same loop.
GtkWidget* makePiPFVViewWidget(std::shared_ptr<PiPFVView> view);

}  // namespace fluvio
