#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "Platform/WebKit/UIRefreshControl.hpp"

namespace tarvelportal {

// The spinner at the top of the page that follows a pull: fading in as the
// pull comes down, spinning once the pull is far enough or refreshing, and
// gone otherwise.
GtkWidget* makeRefreshIndicator(const std::shared_ptr<platform::UIRefreshControl>& control);

}  // namespace tarvelportal
