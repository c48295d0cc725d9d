#include <gtest/gtest.h>

#include "Tarvel_Portal/Tests/Gui/Fixtures.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/PageServer.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/PortalWindow.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/Screenshot.hpp"

namespace tarvelportal::testing {
namespace {

// The page asks, then reports the answer to the server as /answer?<answer>.
struct DialogCase {
  const char* name;
  const char* script;
  const char* button;  // nothing: Escape
  const char* typed;   // replaces the prompt's text first
  const char* answer;
  bool screenshot;
};

TEST(PortalDialogs, AnswersReachThePage) {
  const DialogCase cases[] = {
      {"alert", "(alert('Die Aufnahme wurde gespeichert.'), 'done')", "OK", nullptr, "done", true},
      {"confirm-ok", "confirm('Stream jetzt beenden?')", "OK", nullptr, "true", true},
      {"confirm-cancel", "confirm('Stream jetzt beenden?')", "Abbrechen", nullptr, "false", false},
      {"prompt-edited", "prompt('Titel des Streams', 'Heimspiel')", "OK", "Auswärtsspiel", "Auswärtsspiel", true},
      {"prompt-preset", "prompt('Titel des Streams', 'Heimspiel')", "OK", nullptr, "Heimspiel", false},
      {"prompt-cancel", "prompt('Titel des Streams', 'Heimspiel')", "Abbrechen", "verworfen", "null", false},
      {"prompt-escape", "prompt('Titel des Streams', 'Heimspiel')", nullptr, nullptr, "null", false},
  };
  auto server = PageServer::start();
  server->addPage("/", {portalPage("Dialoge")});
  PortalWindow portal(server->url("/"));
  ASSERT_TRUE(portal.waitForPage(server->url("/")));
  for (std::size_t index = 0; index < std::size(cases); ++index) {
    const auto& testCase = cases[index];
    portal.runScript(std::string("setTimeout(() => { const answer = ") + testCase.script +
                     "; fetch('/answer?' + encodeURIComponent(String(answer))); }, 0)");
    auto* dialog = portal.waitForDialog();
    ASSERT_NE(dialog, nullptr) << testCase.name;
    EXPECT_FALSE(server->request("/answer", index)) << testCase.name << ": answered before a button";
    auto* entry = adw_message_dialog_get_extra_child(dialog);
    if (testCase.typed != nullptr) gtk_editable_set_text(GTK_EDITABLE(entry), testCase.typed);
    if (testCase.screenshot) {
      Screenshot::of(portal.window(), {GTK_WIDGET(dialog)}).save(std::string("dialog-") + testCase.name);
    }
    if (testCase.button != nullptr) {
      PortalWindow::respond(dialog, testCase.button);
    } else {
      gtk_widget_activate_action(GTK_WIDGET(dialog), "window.close", nullptr);
    }
    ASSERT_TRUE(waitUntil([&] { return server->request("/answer", index).has_value(); })) << testCase.name;
    gchar* answer = g_uri_unescape_string(server->request("/answer", index)->query.c_str(), nullptr);
    EXPECT_STREQ(answer, testCase.answer) << testCase.name;
    g_free(answer);
    ASSERT_TRUE(PortalWindow::dialogGone()) << testCase.name;
  }
}

}  // namespace
}  // namespace tarvelportal::testing
