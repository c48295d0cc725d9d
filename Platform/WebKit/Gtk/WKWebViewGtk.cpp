#include "Platform/WebKit/Gtk/WKWebViewGtk.hpp"

#include <webkit/webkit.h>

#include <filesystem>

#include "Platform/WebKit/WKNavigationError.hpp"
#include "Platform/WebKit/Gtk/WKScriptValueGtk.hpp"

namespace platform {
namespace {

constexpr const char* kLogDomain = "WKWebView";

// Cookies go to the default session's data directory, so they outlive the process.
void persistCookies(WebKitNetworkSession* session) {
  auto* dataManager = webkit_network_session_get_website_data_manager(session);
  const char* directory = webkit_website_data_manager_get_base_data_directory(dataManager);
  if (directory == nullptr) return;
  const auto file = std::filesystem::path(directory) / "cookies.sqlite";
  webkit_cookie_manager_set_persistent_storage(webkit_network_session_get_cookie_manager(session), file.c_str(),
                                               WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
}

// Answers a script dialog exactly once: with what the delegate chose, or with
// the dialog's default if the answer is dropped unused.
class ScriptDialogAnswer {
 public:
  explicit ScriptDialogAnswer(WebKitScriptDialog* dialog) : dialog_(webkit_script_dialog_ref(dialog)) {}
  ~ScriptDialogAnswer() {
    webkit_script_dialog_close(dialog_);
    webkit_script_dialog_unref(dialog_);
  }
  ScriptDialogAnswer(const ScriptDialogAnswer&) = delete;
  ScriptDialogAnswer& operator=(const ScriptDialogAnswer&) = delete;

  void confirm(bool confirmed) { webkit_script_dialog_confirm_set_confirmed(dialog_, confirmed); }
  void prompt(const std::optional<std::string>& text) {
    if (text) webkit_script_dialog_prompt_set_text(dialog_, text->c_str());
  }

 private:
  WebKitScriptDialog* dialog_;
};

// The engine knows the page's world as no name at all.
const char* engineWorldName(const WKContentWorld& world) { return world.isPage() ? nullptr : world.name.c_str(); }

WebKitUserScript* makeUserScript(const WKUserScript& script) {
  const auto frames =
      script.forMainFrameOnly ? WEBKIT_USER_CONTENT_INJECT_TOP_FRAME : WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES;
  const auto time = script.injectionTime == WKUserScript::InjectionTime::atDocumentEnd
                        ? WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END
                        : WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START;
  if (script.contentWorld.isPage()) return webkit_user_script_new(script.source.c_str(), frames, time, nullptr, nullptr);
  return webkit_user_script_new_for_world(script.source.c_str(), frames, time, script.contentWorld.name.c_str(),
                                          nullptr, nullptr);
}

}  // namespace

struct WKWebViewGtk::Signals {
  static void loadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    auto& self = *static_cast<WKWebViewGtk*>(data);
    switch (event) {
      case WEBKIT_LOAD_STARTED:
        self.loadFailed_ = false;
        self.loadTimedOut_ = false;
        self.loadTimer_->start(self.timeoutInterval_, [&self] {
          self.loadTimedOut_ = true;
          webkit_web_view_stop_loading(WEBKIT_WEB_VIEW(self.widget_));
        });
        break;
      case WEBKIT_LOAD_REDIRECTED:
        break;
      case WEBKIT_LOAD_COMMITTED:
        self.committedURL_ = webkit_web_view_get_uri(view);
        break;
      case WEBKIT_LOAD_FINISHED:
        self.loadTimer_->cancel();
        if (self.loadFailed_) break;
        if (const auto delegate = self.navigationDelegate_.lock()) delegate->didFinishNavigation();
        break;
    }
  }

  static gboolean loadFailed(WebKitWebView*, WebKitLoadEvent event, const char* uri, GError* error, gpointer data) {
    auto& self = *static_cast<WKWebViewGtk*>(data);
    self.loadFailed_ = true;
    self.loadTimer_->cancel();
    auto failure = self.loadTimedOut_
                       ? NSError{std::string(NSURLErrorDomain), NSURLError::timedOut, "The request timed out."}
                       : navigationError(g_quark_to_string(error->domain), error->code, error->message);
    g_log(kLogDomain, G_LOG_LEVEL_DEBUG, "load of %s failed: %s %d (%s)", uri, g_quark_to_string(error->domain),
          error->code, error->message);
    if (const auto delegate = self.navigationDelegate_.lock()) {
      if (event == WEBKIT_LOAD_COMMITTED) {
        delegate->didFailNavigation(failure);
      } else {
        delegate->didFailProvisionalNavigation(failure);
      }
    }
    return TRUE;  // no engine error page: the owner decides what to show
  }

  static GtkWidget* create(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
    auto& self = *static_cast<WKWebViewGtk*>(data);
    auto* request = webkit_navigation_action_get_request(action);
    if (const auto delegate = self.uiDelegate_.lock()) {
      delegate->createWebView({URLRequest{webkit_uri_request_get_uri(request), self.timeoutInterval_}, false});
    }
    return nullptr;
  }

  static gboolean scriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) {
    auto& self = *static_cast<WKWebViewGtk*>(data);
    auto answer = std::make_shared<ScriptDialogAnswer>(dialog);
    const auto delegate = self.uiDelegate_.lock();
    const std::string message = webkit_script_dialog_get_message(dialog);
    switch (webkit_script_dialog_get_dialog_type(dialog)) {
      case WEBKIT_SCRIPT_DIALOG_ALERT:
        if (delegate) delegate->runJavaScriptAlertPanel(message, [answer] {});
        break;
      case WEBKIT_SCRIPT_DIALOG_CONFIRM:
        if (delegate) delegate->runJavaScriptConfirmPanel(message, [answer](bool confirmed) { answer->confirm(confirmed); });
        break;
      case WEBKIT_SCRIPT_DIALOG_PROMPT:
        if (delegate) {
          delegate->runJavaScriptTextInputPanel(message, webkit_script_dialog_prompt_get_default_text(dialog),
                                                [answer](const std::optional<std::string>& text) { answer->prompt(text); });
        }
        break;
      case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
        answer->confirm(true);  // leaving a page is never asked about
        break;
    }
    return TRUE;
  }

  static void scriptMessage(WebKitUserContentManager*, JSCValue* value, gpointer data) {
    auto& [self, name] = *static_cast<std::pair<WKWebViewGtk*, std::string>*>(data);
    const auto handler = self->userContent_.scriptMessageHandlers.find(name);
    if (handler == self->userContent_.scriptMessageHandlers.end()) return;
    auto body = scriptBody(value);
    if (!body) {
      g_log(kLogDomain, G_LOG_LEVEL_WARNING, "oversized script message on %s dropped", name.c_str());
      return;
    }
    handler->second.handler->userContentController({name, std::move(*body)});
  }

  static void scrollBegan(GtkEventControllerScroll*, gpointer data) { static_cast<WKWebViewGtk*>(data)->beginPull(); }

  static gboolean scrolled(GtkEventControllerScroll* controller, double, double dy, gpointer data) {
    auto& self = *static_cast<WKWebViewGtk*>(data);
    // Only touchpads scroll by surface distance; a wheel's clicks are no pull.
    if (self.refreshControl_ && gtk_event_controller_scroll_get_unit(controller) == GDK_SCROLL_UNIT_SURFACE) {
      self.refreshControl_->pullMoved(-dy);
    }
    return FALSE;  // the page scrolls as ever
  }

  static void pullEnded(GtkEventController*, gpointer data) {
    auto& self = *static_cast<WKWebViewGtk*>(data);
    if (self.refreshControl_) self.refreshControl_->pullEnded();
  }

  static void dragBegan(GtkGestureDrag*, double, double, gpointer data) {
    auto& self = *static_cast<WKWebViewGtk*>(data);
    self.dragOffset_ = 0;
    self.beginPull();
  }

  static void dragUpdated(GtkGestureDrag*, double, double offsetY, gpointer data) {
    auto& self = *static_cast<WKWebViewGtk*>(data);
    if (self.refreshControl_) self.refreshControl_->pullMoved(offsetY - self.dragOffset_);
    self.dragOffset_ = offsetY;
  }

  static void atTopAnswered(GObject* view, GAsyncResult* result, gpointer data) {
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
    if (error != nullptr) {
      const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
      g_error_free(error);
      if (cancelled) return;  // the view is gone
    }
    auto& self = *static_cast<WKWebViewGtk*>(data);
    const bool atTop = value != nullptr && jsc_value_is_boolean(value) && jsc_value_to_boolean(value);
    if (value != nullptr) g_object_unref(value);
    if (self.refreshControl_) self.refreshControl_->contentAtTop(atTop);
  }
};

std::shared_ptr<WKWebViewGtk> WKWebViewGtk::make(const WKWebViewConfiguration& configuration,
                                                std::shared_ptr<WKLoadTimer> loadTimer) {
  return std::shared_ptr<WKWebViewGtk>(new WKWebViewGtk(configuration, std::move(loadTimer)));
}

WKWebViewGtk::WKWebViewGtk(const WKWebViewConfiguration& configuration, std::shared_ptr<WKLoadTimer> loadTimer)
    : userContent_(configuration.userContentController), loadTimer_(std::move(loadTimer)) {
  auto* session = webkit_network_session_get_default();
  persistCookies(session);

  auto* settings = webkit_settings_new();
  // The engine would append its own version to the name; the name stands alone.
  const std::string userAgent =
      std::string(webkit_settings_get_user_agent(settings)) + " " + configuration.applicationNameForUserAgent;
  webkit_settings_set_user_agent(settings, userAgent.c_str());
  webkit_settings_set_media_playback_requires_user_gesture(settings, configuration.mediaPlaybackRequiresUserAction);
  webkit_settings_set_enable_back_forward_navigation_gestures(settings,
                                                              configuration.allowsBackForwardNavigationGestures);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, TRUE);

  auto* contentManager = webkit_user_content_manager_new();
  for (const auto& script : userContent_.userScripts) {
    auto* userScript = makeUserScript(script);
    webkit_user_content_manager_add_script(contentManager, userScript);
    webkit_user_script_unref(userScript);
  }
  for (const auto& [name, registration] : userContent_.scriptMessageHandlers) {
    webkit_user_content_manager_register_script_message_handler(contentManager, name.c_str(),
                                                                engineWorldName(registration.contentWorld));
    const auto signal = "script-message-received::" + name;
    g_signal_connect_data(contentManager, signal.c_str(), G_CALLBACK(Signals::scriptMessage),
                          new std::pair<WKWebViewGtk*, std::string>(this, name),
                          [](gpointer data, GClosure*) { delete static_cast<std::pair<WKWebViewGtk*, std::string>*>(data); },
                          GConnectFlags{});
  }

  widget_ = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "settings", settings, "user-content-manager",
                                    contentManager, "network-session", session, nullptr));
  g_object_ref_sink(widget_);
  g_object_unref(settings);
  g_object_unref(contentManager);

  g_signal_connect(widget_, "load-changed", G_CALLBACK(Signals::loadChanged), this);
  g_signal_connect(widget_, "load-failed", G_CALLBACK(Signals::loadFailed), this);
  g_signal_connect(widget_, "create", G_CALLBACK(Signals::create), this);
  g_signal_connect(widget_, "script-dialog", G_CALLBACK(Signals::scriptDialog), this);
  addPullGestures();
}

void WKWebViewGtk::addPullGestures() {
  // Ahead of the page, which still gets every event.
  pullScroll_ = gtk_event_controller_scroll_new(GTK_EVENT_CONTROLLER_SCROLL_VERTICAL);
  gtk_event_controller_set_propagation_phase(pullScroll_, GTK_PHASE_CAPTURE);
  g_signal_connect(pullScroll_, "scroll-begin", G_CALLBACK(Signals::scrollBegan), this);
  g_signal_connect(pullScroll_, "scroll", G_CALLBACK(Signals::scrolled), this);
  g_signal_connect(pullScroll_, "scroll-end", G_CALLBACK(Signals::pullEnded), this);
  gtk_widget_add_controller(widget_, pullScroll_);

  auto* drag = gtk_gesture_drag_new();
  gtk_gesture_single_set_touch_only(GTK_GESTURE_SINGLE(drag), TRUE);
  pullDrag_ = GTK_EVENT_CONTROLLER(drag);
  gtk_event_controller_set_propagation_phase(pullDrag_, GTK_PHASE_CAPTURE);
  g_signal_connect(drag, "drag-begin", G_CALLBACK(Signals::dragBegan), this);
  g_signal_connect(drag, "drag-update", G_CALLBACK(Signals::dragUpdated), this);
  g_signal_connect(drag, "drag-end", G_CALLBACK(Signals::pullEnded), this);
  gtk_widget_add_controller(widget_, pullDrag_);
}

void WKWebViewGtk::beginPull() {
  if (!refreshControl_) return;
  refreshControl_->pullBegan();
  webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(widget_), "scrollY <= 0", -1, nullptr, nullptr, pageQueries_,
                                      Signals::atTopAnswered, this);
}

WKWebViewGtk::~WKWebViewGtk() {
  loadTimer_->cancel();
  g_cancellable_cancel(pageQueries_);
  g_object_unref(pageQueries_);
  // The widget may outlive this view inside its window.
  gtk_widget_remove_controller(widget_, pullScroll_);
  gtk_widget_remove_controller(widget_, pullDrag_);
  auto* contentManager = webkit_web_view_get_user_content_manager(WEBKIT_WEB_VIEW(widget_));
  g_signal_handlers_disconnect_matched(contentManager, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                       reinterpret_cast<gpointer>(Signals::scriptMessage), nullptr);
  g_signal_handlers_disconnect_by_data(widget_, this);
  g_object_unref(widget_);
}

void WKWebViewGtk::load(const URLRequest& request) {
  timeoutInterval_ = request.timeoutInterval;
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(widget_), request.url.c_str());
}

void WKWebViewGtk::reload() {
  if (committedURL_) webkit_web_view_reload(WEBKIT_WEB_VIEW(widget_));
}

void WKWebViewGtk::setNavigationDelegate(std::weak_ptr<WKNavigationDelegate> delegate) {
  navigationDelegate_ = std::move(delegate);
}

void WKWebViewGtk::setUIDelegate(std::weak_ptr<WKUIDelegate> delegate) { uiDelegate_ = std::move(delegate); }

}  // namespace platform
