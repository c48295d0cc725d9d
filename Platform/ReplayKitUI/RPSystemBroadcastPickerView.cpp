#include "Platform/ReplayKitUI/RPSystemBroadcastPickerView.hpp"

#include <adwaita.h>

namespace platform {

std::shared_ptr<RPSystemBroadcastPickerView> RPSystemBroadcastPickerView::make(int width, int height,
                                                                               std::string servicePath) {
  return std::shared_ptr<RPSystemBroadcastPickerView>(
      new RPSystemBroadcastPickerView(width, height, std::move(servicePath)));
}

RPSystemBroadcastPickerView::RPSystemBroadcastPickerView(int width, int height, std::string servicePath)
    : servicePath_(std::move(servicePath)),
      view_(g_object_ref_sink(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0))),
      button_(gtk_button_new_from_icon_name("media-record-symbolic")) {
  gtk_widget_set_size_request(view_, width, height);
  gtk_widget_set_size_request(button_, width, height);
  gtk_widget_set_hexpand(button_, TRUE);
  gtk_widget_set_vexpand(button_, TRUE);
  gtk_box_append(GTK_BOX(view_), button_);
  showState(false);
  g_signal_connect_swapped(button_, "clicked", G_CALLBACK(+[](RPSystemBroadcastPickerView* self) { self->toggle(); }),
                           this);
}

RPSystemBroadcastPickerView::~RPSystemBroadcastPickerView() {
  g_signal_handlers_disconnect_by_data(button_, this);
  if (service_) {
    service_->setStateHandler(nullptr);
    service_->setErrorHandler(nullptr);
  }
  g_object_unref(view_);
}

void RPSystemBroadcastPickerView::toggle() {
  if (isBroadcasting()) {
    service_->stop();
    return;
  }
  service_ = RPBroadcastService::make({servicePath_, preferredExtension_});
  service_->setStateHandler([this](bool running) { showState(running); });
  service_->setErrorHandler([this](const std::string& message) { showError(message); });
  service_->start();
}

void RPSystemBroadcastPickerView::showState(bool running) {
  gtk_button_set_icon_name(GTK_BUTTON(button_), running ? "media-playback-stop-symbolic" : "media-record-symbolic");
  const char* label = running ? "Aufnahme beenden" : "Aufnahme starten";
  gtk_widget_set_tooltip_text(button_, label);
  gtk_accessible_update_property(GTK_ACCESSIBLE(button_), GTK_ACCESSIBLE_PROPERTY_LABEL, label, -1);
}

void RPSystemBroadcastPickerView::showError(const std::string& message) {
  auto* window = GTK_WINDOW(gtk_widget_get_root(view_));
  auto* dialog = adw_message_dialog_new(window, nullptr, message.c_str());
  adw_message_dialog_add_response(ADW_MESSAGE_DIALOG(dialog), "ok", "OK");
  adw_message_dialog_set_default_response(ADW_MESSAGE_DIALOG(dialog), "ok");
  adw_message_dialog_set_close_response(ADW_MESSAGE_DIALOG(dialog), "ok");
  gtk_window_present(GTK_WINDOW(dialog));
}

}  // namespace platform
