#include "Fluvio/Sources/View/Gtk/PiPFVViewWidget.hpp"

#include "Fluvio/Sources/View/Gtk/PixelBufferTexture.hpp"
#include "Fluvio/Sources/View/Gtk/PreviewWidget.hpp"
#include "Fluvio/Sources/View/PreviewGeometry.hpp"
#include "Platform/CoreImage/CIPixelBufferConverter.hpp"
#include "Platform/CoreMedia/HostClock.hpp"

namespace fluvio {
namespace {

using namespace platform;

double now() { return HostClock::seconds(HostClock::now()); }

GdkRGBA rgba(const CGColor& color) {
  const auto& c = color.components;
  const auto channel = [](CGFloat value) { return static_cast<float>(value); };
  if (c.size() == 4) return {channel(c[0]), channel(c[1]), channel(c[2]), channel(c[3])};
  if (c.size() == 2) return {channel(c[0]), channel(c[0]), channel(c[0]), channel(c[1])};
  return {0, 0, 0, 0};
}

graphene_rect_t grapheneRect(const CGRect& rect) {
  return GRAPHENE_RECT_INIT(static_cast<float>(rect.origin.x), static_cast<float>(rect.origin.y),
                            static_cast<float>(rect.size.width), static_cast<float>(rect.size.height));
}

class PiPFVViewPainter final : public PreviewPainter {
 public:
  explicit PiPFVViewPainter(std::shared_ptr<PiPFVView> view) : view_(std::move(view)) {}
  ~PiPFVViewPainter() override {
    if (texture_) g_object_unref(texture_);
  }

  void snapshot(GtkWidget* widget, GtkSnapshot* snapshot) override {
    const CGRect bounds{{0, 0}, {static_cast<CGFloat>(gtk_widget_get_width(widget)),
                                 static_cast<CGFloat>(gtk_widget_get_height(widget))}};
    const graphene_rect_t area = grapheneRect(bounds);
    const auto& layer = view_->layer();
    const GdkRGBA background = rgba(layer.backgroundColor());
    gtk_snapshot_append_color(snapshot, &background, &area);
    GdkTexture* texture = currentTexture();
    if (!texture) return;
    const CGSize picture{static_cast<CGFloat>(gdk_texture_get_width(texture)),
                         static_cast<CGFloat>(gdk_texture_get_height(texture))};
    const graphene_rect_t destination =
        grapheneRect(previewFit(layer.videoGravity(), bounds.size, picture).destination(picture));
    gtk_snapshot_push_clip(snapshot, &area);
    gtk_snapshot_append_texture(snapshot, texture, &destination);
    gtk_snapshot_pop(snapshot);
  }

  void detach(GtkWidget* widget) override {
    if (tick_) gtk_widget_remove_tick_callback(widget, tick_);
    view_->setNeedsDisplayHandler({});
  }

  // A frame went into the layer: look for due frames on every frame clock tick until none waits.
  void frameQueued(GtkWidget* widget) {
    if (!tick_) tick_ = gtk_widget_add_tick_callback(widget, &PiPFVViewPainter::tick, this, nullptr);
    gtk_widget_queue_draw(widget);
  }

 private:
  static gboolean tick(GtkWidget* widget, GdkFrameClock*, gpointer data) {
    auto& self = *static_cast<PiPFVViewPainter*>(data);
    auto& layer = self.view_->layer();
    if (layer.displayedImage(now()) != self.shown_) gtk_widget_queue_draw(widget);
    if (layer.queuedFrames() > 0) return G_SOURCE_CONTINUE;
    self.tick_ = 0;
    return G_SOURCE_REMOVE;
  }

  // The texture of the layer's frame of the moment, made again only when the frame changed.
  GdkTexture* currentTexture() {
    const auto& image = view_->layer().displayedImage(now());
    if (image == shown_) return texture_;
    shown_ = image;
    if (texture_) g_object_unref(texture_);
    texture_ = nullptr;
    if (!image) return nullptr;
    if (!argb_ || argb_->width() != image->width() || argb_->height() != image->height()) {
      auto made = CVPixelBuffer::make(static_cast<std::int32_t>(image->width()),
                                      static_cast<std::int32_t>(image->height()), kCVPixelFormatType_32ARGB);
      if (!made) return nullptr;
      argb_ = std::move(made.value);
    }
    if (image->lockBaseAddress(kCVPixelBufferLock_ReadOnly) != kCVReturnSuccess) return nullptr;
    const bool converted = converter_.convert(*image, argb_->baseAddress(), argb_->bytesPerRow(), image->width(),
                                              image->height(), CIPixelBufferConverter::Layout::argb);
    image->unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
    if (converted) texture_ = makeARGBTexture(*argb_);
    return texture_;
  }

  std::shared_ptr<PiPFVView> view_;
  guint tick_ = 0;
  // The frame last painted and its texture; the ARGB copy it was made through.
  std::shared_ptr<CVPixelBuffer> shown_;
  GdkTexture* texture_ = nullptr;
  std::shared_ptr<CVPixelBuffer> argb_;
  CIPixelBufferConverter converter_;
};

}  // namespace

GtkWidget* makePiPFVViewWidget(std::shared_ptr<PiPFVView> view) {
  auto painter = std::make_unique<PiPFVViewPainter>(view);
  auto* frames = painter.get();
  auto* widget = makePreviewWidget(std::move(painter));
  view->setNeedsDisplayHandler([widget, frames] { frames->frameQueued(widget); });
  return widget;
}

}  // namespace fluvio
