#include "Tarvel_Portal/Tests/Gui/Support/PortalWindow.hpp"

#include <gtest/gtest.h>

#include "Platform/WebKit/Gtk/WKWebViewGtk.hpp"

namespace tarvelportal::testing {
namespace {

AdwMessageDialog* shownDialog() {
  AdwMessageDialog* found = nullptr;
  GListModel* toplevels = gtk_window_get_toplevels();
  for (guint index = 0; index < g_list_model_get_n_items(toplevels) && found == nullptr; ++index) {
    auto* window = GTK_WIDGET(g_list_model_get_item(toplevels, index));
    if (ADW_IS_MESSAGE_DIALOG(window) && gtk_widget_get_mapped(window)) found = ADW_MESSAGE_DIALOG(window);
    g_object_unref(window);
  }
  return found;
}

}  // namespace

PortalWindow::PortalWindow(const std::string& startURL, const BroadcastServiceConfiguration& broadcastService,
                           std::shared_ptr<platform::WKLoadTimer> loadTimer)
    : window_(TarvelPortalApp::makeWindow(nullptr, *PortalURL::make(startURL), broadcastService,
                                          std::move(loadTimer))) {
  gtk_window_present(GTK_WINDOW(window_));
}

PortalWindow::~PortalWindow() {
  while (auto* dialog = shownDialog()) gtk_window_destroy(GTK_WINDOW(dialog));
  gtk_window_destroy(GTK_WINDOW(window_));
}

WebKitWebView* PortalWindow::webView() const {
  return WEBKIT_WEB_VIEW(static_cast<platform::WKWebViewGtk&>(*controller().webView()).widget());
}

bool PortalWindow::waitForPage(const std::string& url) {
  return waitUntil([&] {
    const char* current = webkit_web_view_get_uri(webView());
    return current != nullptr && current == url && !webkit_web_view_is_loading(webView());
  });
}

void PortalWindow::runScript(const std::string& script) {
  webkit_web_view_evaluate_javascript(webView(), script.c_str(), -1, nullptr, nullptr, nullptr, nullptr, nullptr);
}

std::string PortalWindow::evaluate(const std::string& script) {
  struct Answer {
    bool done = false;
    std::string text;
  } answer;
  webkit_web_view_evaluate_javascript(
      webView(), script.c_str(), -1, nullptr, nullptr, nullptr,
      [](GObject* view, GAsyncResult* result, gpointer data) {
        auto& answer = *static_cast<Answer*>(data);
        if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, nullptr)) {
          gchar* text = jsc_value_to_string(value);
          answer.text = text;
          g_free(text);
          g_object_unref(value);
        }
        answer.done = true;
      },
      &answer);
  EXPECT_TRUE(waitUntil([&] { return answer.done; })) << script;
  return answer.text;
}

bool PortalWindow::waitForButton(bool shown) {
  auto* overlay = content().broadcastOverlay().widget();
  return waitUntil([&] {
    const bool visible = gtk_widget_get_visible(overlay) && gtk_widget_get_mapped(overlay);
    return visible == shown && !content().broadcastOverlay().isAnimating();
  });
}

AdwMessageDialog* PortalWindow::waitForDialog() {
  AdwMessageDialog* dialog = nullptr;
  waitUntil([&] {
    dialog = shownDialog();
    return dialog != nullptr;
  });
  if (dialog != nullptr) waitForFrames(GTK_WIDGET(dialog));
  return dialog;
}

bool PortalWindow::dialogGone() {
  return waitUntil([] { return shownDialog() == nullptr; });
}

void PortalWindow::respond(AdwMessageDialog* dialog, const std::string& title) {
  for (int index = 0; index < 4; ++index) {
    const auto id = "action-" + std::to_string(index);
    if (adw_message_dialog_has_response(dialog, id.c_str()) &&
        title == adw_message_dialog_get_response_label(dialog, id.c_str())) {
      adw_message_dialog_response(dialog, id.c_str());
      if (gtk_widget_get_mapped(GTK_WIDGET(dialog))) gtk_window_destroy(GTK_WINDOW(dialog));
      return;
    }
  }
  if (adw_message_dialog_has_response(dialog, "ok") && title == "OK") {
    adw_message_dialog_response(dialog, "ok");
    if (gtk_widget_get_mapped(GTK_WIDGET(dialog))) gtk_window_destroy(GTK_WINDOW(dialog));
    return;
  }
  ADD_FAILURE() << "the dialog has no button " << title;
}

}  // namespace tarvelportal::testing
