#pragma once

#include <gtk/gtk.h>

#include "Tarvel_Portal/Sources/Controller/SiteWebViewController.hpp"

namespace tarvelportal {

// The controller's own web view widget, filling its place; never a copy.
GtkWidget* siteWebViewContainer(const SiteWebViewController& controller);

}  // namespace tarvelportal
