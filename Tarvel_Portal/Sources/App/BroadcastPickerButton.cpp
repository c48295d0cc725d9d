#include "Tarvel_Portal/Sources/App/BroadcastPickerButton.hpp"

namespace tarvelportal {

std::shared_ptr<platform::RPSystemBroadcastPickerView> makeBroadcastPickerButton(
    const BroadcastServiceConfiguration& configuration) {
  auto picker = platform::RPSystemBroadcastPickerView::make(64, 64, configuration.programPath);
  picker->setPreferredExtension(configuration.extension);
  applyPickerStyle(picker->view());
  return picker;
}

void applyPickerStyle(GtkWidget* pickerView) {
  gtk_widget_add_css_class(pickerView, "broadcast-picker");
  gtk_widget_set_overflow(pickerView, GTK_OVERFLOW_HIDDEN);
  for (auto* child = gtk_widget_get_first_child(pickerView); child != nullptr;
       child = gtk_widget_get_next_sibling(child)) {
    if (GTK_IS_BUTTON(child)) gtk_widget_add_css_class(child, "broadcast-picker-tint");
  }
}

}  // namespace tarvelportal
