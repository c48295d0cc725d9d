#include "Fluvio/Sources/View/Gtk/PreviewWidget.hpp"

G_DECLARE_FINAL_TYPE(FluvioPreviewWidget, fluvio_preview_widget, FLUVIO, PREVIEW_WIDGET, GtkWidget)

struct _FluvioPreviewWidget {
  GtkWidget parent;
  fluvio::PreviewPainter* painter;
};

G_DEFINE_FINAL_TYPE(FluvioPreviewWidget, fluvio_preview_widget, GTK_TYPE_WIDGET)

namespace {

void snapshot(GtkWidget* widget, GtkSnapshot* snapshot) {
  if (auto* painter = FLUVIO_PREVIEW_WIDGET(widget)->painter) painter->snapshot(widget, snapshot);
}

void dispose(GObject* object) {
  auto* self = FLUVIO_PREVIEW_WIDGET(object);
  if (self->painter) {
    self->painter->detach(GTK_WIDGET(self));
    delete self->painter;
    self->painter = nullptr;
  }
  G_OBJECT_CLASS(fluvio_preview_widget_parent_class)->dispose(object);
}

}  // namespace

static void fluvio_preview_widget_class_init(FluvioPreviewWidgetClass* widgetClass) {
  G_OBJECT_CLASS(widgetClass)->dispose = dispose;
  GTK_WIDGET_CLASS(widgetClass)->snapshot = snapshot;
}

static void fluvio_preview_widget_init(FluvioPreviewWidget* self) {
  gtk_widget_set_hexpand(GTK_WIDGET(self), TRUE);
  gtk_widget_set_vexpand(GTK_WIDGET(self), TRUE);
}

namespace fluvio {

GtkWidget* makePreviewWidget(std::unique_ptr<PreviewPainter> painter) {
  auto* widget = static_cast<FluvioPreviewWidget*>(g_object_new(fluvio_preview_widget_get_type(), nullptr));
  widget->painter = painter.release();
  return GTK_WIDGET(widget);
}

}  // namespace fluvio
