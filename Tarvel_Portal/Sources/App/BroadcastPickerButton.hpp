#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "Platform/ReplayKitUI/RPSystemBroadcastPickerView.hpp"

namespace tarvelportal {

// Where the start button finds the broadcast service and which extension it runs.
struct BroadcastServiceConfiguration {
  std::string programPath;
  std::string extension;
};

// The broadcast picker preset to the extension, without a microphone, in the
// portal's red round style.
std::shared_ptr<platform::RPSystemBroadcastPickerView> makeBroadcastPickerButton(
    const BroadcastServiceConfiguration& configuration);

// Red circle, clipped round; the buttons directly inside it drawn in white.
void applyPickerStyle(GtkWidget* pickerView);

}  // namespace tarvelportal
