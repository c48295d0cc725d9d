#include "Tarvel_Portal/Sources/App/TarvelPortalApp.hpp"

#include <adwaita.h>
#include <glib-unix.h>

#include <csignal>
#include <cstdio>
#include <optional>

#include "Tarvel_Portal/Sources/App/ContentView.hpp"
#include "Tarvel_Portal/Sources/App/PortalResources.hpp"

namespace tarvelportal {
namespace {

struct Launch {
  std::optional<PortalURL> startURL;
  BroadcastServiceConfiguration broadcastService{TARVEL_BROADCAST_SERVICE, TARVEL_BROADCAST_EXTENSION};
};

gboolean quit(gpointer application) {
  g_application_quit(G_APPLICATION(application));
  return G_SOURCE_CONTINUE;
}

}  // namespace

void TarvelPortalApp::loadStyle() {
  registerPortalResources();
  auto* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_resource(provider, "/com/tarvel/Portal/style.css");
  gtk_style_context_add_provider_for_display(gdk_display_get_default(), GTK_STYLE_PROVIDER(provider),
                                             GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

GtkWidget* TarvelPortalApp::makeWindow(GtkApplication* application, const PortalURL& startURL,
                                       const BroadcastServiceConfiguration& broadcastService,
                                       std::shared_ptr<platform::WKLoadTimer> loadTimer) {
  auto* window = application != nullptr ? adw_application_window_new(application) : adw_window_new();
  gtk_window_set_title(GTK_WINDOW(window), "Tarvel-Portal");
  gtk_window_set_default_size(GTK_WINDOW(window), 1100, 760);

  auto* header = adw_header_bar_new();
  auto& content = ContentView::make(startURL, broadcastService, std::move(loadTimer));
  auto* layout = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_append(GTK_BOX(layout), header);
  gtk_widget_set_vexpand(content.widget(), TRUE);
  gtk_box_append(GTK_BOX(layout), content.widget());
  if (ADW_IS_APPLICATION_WINDOW(window)) {
    adw_application_window_set_content(ADW_APPLICATION_WINDOW(window), layout);
  } else {
    adw_window_set_content(ADW_WINDOW(window), layout);
  }
  g_object_set_data(G_OBJECT(window), "tarvel-content-view", &content);
  return window;
}

ContentView& TarvelPortalApp::contentView(GtkWidget* window) {
  return *static_cast<ContentView*>(g_object_get_data(G_OBJECT(window), "tarvel-content-view"));
}

int TarvelPortalApp::run(int argc, char** argv) {
  auto* application = adw_application_new("com.tarvel.Portal", G_APPLICATION_DEFAULT_FLAGS);
  Launch launch;
  g_application_add_main_option(G_APPLICATION(application), "start-url", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_STRING,
                                "The portal's address (an https site root)", "URL");
  g_signal_connect(application, "handle-local-options",
                   G_CALLBACK(+[](GApplication*, GVariantDict* options, Launch* launch) -> gint {
                     const char* text = TARVEL_PORTAL_START_URL;
                     g_variant_dict_lookup(options, "start-url", "&s", &text);
                     launch->startURL = PortalURL::make(text);
                     if (!launch->startURL) {
                       std::fprintf(stderr, "Tarvel_Portal: the start URL \"%s\" is not an absolute http(s) URL\n", text);
                       return 2;
                     }
                     return -1;
                   }),
                   &launch);
  g_signal_connect(application, "activate", G_CALLBACK(+[](GtkApplication* application, Launch* launch) {
                     if (auto* window = gtk_application_get_active_window(application)) {
                       gtk_window_present(window);
                       return;
                     }
                     loadStyle();
                     gtk_window_present(
                         GTK_WINDOW(makeWindow(application, *launch->startURL, launch->broadcastService)));
                   }),
                   &launch);
  g_unix_signal_add(SIGINT, quit, application);
  g_unix_signal_add(SIGTERM, quit, application);
  const int status = g_application_run(G_APPLICATION(application), argc, argv);
  g_object_unref(application);
  return status;
}

}  // namespace tarvelportal
