#include "Tarvel_Portal/Sources/App/AdwAlertPresenter.hpp"

#include <adwaita.h>

#include <string>

namespace tarvelportal {
namespace {

// A response id per action: its position.
std::string responseId(std::size_t index) { return "action-" + std::to_string(index); }

struct Presentation {
  std::shared_ptr<platform::UIAlertController> alert;
  GtkWidget* entry = nullptr;
};

void respond(AdwMessageDialog*, const char* response, gpointer data) {
  auto& presentation = *static_cast<Presentation*>(data);
  const auto& actions = presentation.alert->actions();
  for (std::size_t index = 0; index < actions.size(); ++index) {
    if (responseId(index) != response) continue;
    std::optional<std::string> text;
    if (presentation.entry != nullptr) text = gtk_editable_get_text(GTK_EDITABLE(presentation.entry));
    presentation.alert->respond(actions[index].title, text);
    return;
  }
}

}  // namespace

std::shared_ptr<AdwAlertPresenter> AdwAlertPresenter::forWidget(GtkWidget* widget) {
  auto* root = gtk_widget_get_root(widget);
  if (root == nullptr || !GTK_IS_WINDOW(root) || !gtk_widget_get_mapped(GTK_WIDGET(root))) return nullptr;
  return std::shared_ptr<AdwAlertPresenter>(new AdwAlertPresenter(GTK_WINDOW(root)));
}

void AdwAlertPresenter::present(std::shared_ptr<platform::UIAlertController> alert) {
  auto* dialog = ADW_MESSAGE_DIALOG(adw_message_dialog_new(window_, nullptr, alert->message().c_str()));
  auto* presentation = new Presentation{alert};
  const auto& actions = alert->actions();
  for (std::size_t index = 0; index < actions.size(); ++index) {
    const auto id = responseId(index);
    adw_message_dialog_add_response(dialog, id.c_str(), actions[index].title.c_str());
    if (actions[index].style == platform::UIAlertAction::Style::cancel) {
      adw_message_dialog_set_close_response(dialog, id.c_str());
    } else {
      adw_message_dialog_set_default_response(dialog, id.c_str());
      adw_message_dialog_set_response_appearance(dialog, id.c_str(), ADW_RESPONSE_SUGGESTED);
      if (actions.size() == 1) adw_message_dialog_set_close_response(dialog, id.c_str());
    }
  }
  if (const auto& text = alert->textField()) {
    presentation->entry = gtk_entry_new();
    gtk_editable_set_text(GTK_EDITABLE(presentation->entry), text->c_str());
    gtk_entry_set_activates_default(GTK_ENTRY(presentation->entry), TRUE);
    adw_message_dialog_set_extra_child(dialog, presentation->entry);
  }
  g_signal_connect_data(dialog, "response", G_CALLBACK(respond), presentation,
                        [](gpointer data, GClosure*) { delete static_cast<Presentation*>(data); }, GConnectFlags{});
  gtk_window_present(GTK_WINDOW(dialog));
}

}  // namespace tarvelportal
