#pragma once

#include <gtk/gtk.h>

#include <memory>

namespace fluvio {

// What a preview widget paints. Owned by the widget and dropped with it.
class PreviewPainter {
 public:
  virtual ~PreviewPainter() = default;
  virtual void snapshot(GtkWidget* widget, GtkSnapshot* snapshot) = 0;
  // The widget is going: stop everything done on its behalf.
  virtual void detach(GtkWidget* widget) = 0;
};

// A widget that fills the space it is given with what the painter paints.
GtkWidget* makePreviewWidget(std::unique_ptr<PreviewPainter> painter);

}  // namespace fluvio
