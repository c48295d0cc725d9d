#include "Tarvel_Portal/Sources/App/BroadcastOverlay.hpp"

#include <algorithm>
#include <numbers>

namespace tarvelportal {
namespace {

// A spring that settles in about 0.35 s with a damping ratio of 0.75.
constexpr double kResponse = 0.35;
constexpr double kDampingRatio = 0.75;
constexpr double kMass = 1;
constexpr double kStiffness = (2 * std::numbers::pi / kResponse) * (2 * std::numbers::pi / kResponse) * kMass;

}  // namespace

std::unique_ptr<BroadcastOverlay> BroadcastOverlay::make(const BroadcastServiceConfiguration& configuration) {
  return std::unique_ptr<BroadcastOverlay>(new BroadcastOverlay(configuration));
}

BroadcastOverlay::BroadcastOverlay(const BroadcastServiceConfiguration& configuration)
    : picker_(makeBroadcastPickerButton(configuration)),
      fixed_(g_object_ref_sink(gtk_fixed_new())),
      stack_(gtk_box_new(GTK_ORIENTATION_VERTICAL, 6)) {
  gtk_widget_set_halign(picker_->view(), GTK_ALIGN_CENTER);
  gtk_box_append(GTK_BOX(stack_), picker_->view());
  auto* caption = gtk_label_new("Aufnahme starten");
  gtk_widget_add_css_class(caption, "broadcast-caption");
  gtk_widget_set_halign(caption, GTK_ALIGN_CENTER);
  gtk_box_append(GTK_BOX(stack_), caption);
  gtk_widget_add_css_class(stack_, "broadcast-overlay");
  gtk_fixed_put(GTK_FIXED(fixed_), stack_, 0, 0);

  // The fixed keeps the settled size so the button scales about its centre
  // without moving its neighbours.
  gtk_widget_measure(stack_, GTK_ORIENTATION_HORIZONTAL, -1, nullptr, &width_, nullptr, nullptr);
  gtk_widget_measure(stack_, GTK_ORIENTATION_VERTICAL, width_, nullptr, &height_, nullptr, nullptr);
  gtk_widget_set_size_request(fixed_, width_, height_);
  gtk_widget_set_visible(fixed_, FALSE);

  auto* target = adw_callback_animation_target_new(
      +[](double value, gpointer data) { static_cast<BroadcastOverlay*>(data)->apply(value); }, this, nullptr);
  animation_ = adw_spring_animation_new(fixed_, 0, 1, adw_spring_params_new(kDampingRatio, kMass, kStiffness), target);
  g_signal_connect_swapped(animation_, "done", G_CALLBACK(+[](BroadcastOverlay* self) {
                             if (self->progress_ <= 0.0) gtk_widget_set_visible(self->fixed_, FALSE);
                           }),
                           this);
  apply(0);
}

BroadcastOverlay::~BroadcastOverlay() {
  adw_animation_reset(animation_);
  g_signal_handlers_disconnect_by_data(animation_, this);
  g_object_unref(animation_);
  g_object_unref(fixed_);
}

void BroadcastOverlay::setShown(bool shown) {
  auto* spring = ADW_SPRING_ANIMATION(animation_);
  adw_spring_animation_set_value_from(spring, progress_);
  adw_spring_animation_set_value_to(spring, shown ? 1 : 0);
  if (shown) gtk_widget_set_visible(fixed_, TRUE);
  adw_animation_reset(animation_);
  adw_animation_play(animation_);
}

void BroadcastOverlay::apply(double progress) {
  progress_ = progress;
  const float scale = static_cast<float>(std::max(progress, 0.01));
  const graphene_point_t centre{width_ / 2.0f, height_ / 2.0f};
  const graphene_point_t back{-centre.x, -centre.y};
  auto* transform = gsk_transform_translate(nullptr, &centre);
  transform = gsk_transform_scale(transform, scale, scale);
  transform = gsk_transform_translate(transform, &back);
  gtk_fixed_set_child_transform(GTK_FIXED(fixed_), stack_, transform);
  gsk_transform_unref(transform);
  gtk_widget_set_opacity(stack_, std::clamp(progress, 0.0, 1.0));
}

}  // namespace tarvelportal
