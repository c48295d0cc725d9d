#include "Fluvio/Sources/View/Gtk/MTFVViewWidget.hpp"

#include "Fluvio/Sources/View/Gtk/PixelBufferTexture.hpp"
#include "Fluvio/Sources/View/Gtk/PreviewWidget.hpp"

namespace fluvio {
namespace {

using namespace platform;

class MTFVViewPainter final : public PreviewPainter {
 public:
  explicit MTFVViewPainter(std::shared_ptr<MTFVView> view) : view_(std::move(view)) {}

  void snapshot(GtkWidget* widget, GtkSnapshot* snapshot) override {
    const int width = gtk_widget_get_width(widget), height = gtk_widget_get_height(widget);
    const int scale = gtk_widget_get_scale_factor(widget);
    if (width <= 0 || height <= 0) return;
    const auto pixelWidth = static_cast<std::size_t>(width) * scale;
    const auto pixelHeight = static_cast<std::size_t>(height) * scale;
    if (!drawable_ || drawable_->width() != pixelWidth || drawable_->height() != pixelHeight) {
      auto made = CVPixelBuffer::make(static_cast<std::int32_t>(pixelWidth), static_cast<std::int32_t>(pixelHeight),
                                      kCVPixelFormatType_32ARGB);
      if (!made) return;
      drawable_ = std::move(made.value);
    }
    view_->draw(*drawable_);
    if (GdkTexture* texture = makeARGBTexture(*drawable_)) {
      const graphene_rect_t bounds = GRAPHENE_RECT_INIT(0, 0, static_cast<float>(width), static_cast<float>(height));
      gtk_snapshot_append_texture(snapshot, texture, &bounds);
      g_object_unref(texture);
    }
  }

  void detach(GtkWidget*) override { view_->setNeedsDisplayHandler({}); }

 private:
  std::shared_ptr<MTFVView> view_;
  std::shared_ptr<CVPixelBuffer> drawable_;  // kept while the widget's size stays
};

}  // namespace

GtkWidget* makeMTFVViewWidget(std::shared_ptr<MTFVView> view) {
  auto* widget = makePreviewWidget(std::make_unique<MTFVViewPainter>(view));
  view->setNeedsDisplayHandler([widget] { gtk_widget_queue_draw(widget); });
  return widget;
}

}  // namespace fluvio
