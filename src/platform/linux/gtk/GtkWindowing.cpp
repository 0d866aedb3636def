#include "platform/linux/gtk/GtkWindowing.hpp"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace velmar::linux_backend {

bool GtkWindowing::displayAvailable() {
    static const bool ok = [] {
        const char* x = g_getenv("DISPLAY");
        const char* wayland = g_getenv("WAYLAND_DISPLAY");
        if ((!x || !*x) && (!wayland || !*wayland)) return false;
        return gtk_init_check(nullptr, nullptr) == TRUE;
    }();
    return ok;
}

std::unique_ptr<WebViewWindow> GtkWindowing::createWebViewWindow(const WebViewWindowSpec& spec) {
    return std::make_unique<WebKitWindow>(spec);
}

struct WebKitWindow::Signals {
    static void scriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
        auto* self = static_cast<WebKitWindow*>(data);
        if (!self->listener_) return;
        JSCValue* value = webkit_javascript_result_get_js_value(result);
        nlohmann::json body;  // null unless the value converts
        if (gchar* json = jsc_value_to_json(value, 0)) {
            body = nlohmann::json::parse(json, nullptr, false);
            if (body.is_discarded()) body = nullptr;
            g_free(json);
        }
        self->listener_->didReceiveScriptMessage(self->handler_, body);
    }

    static void loadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
        auto* self = static_cast<WebKitWindow*>(data);
        if (event == WEBKIT_LOAD_FINISHED && self->listener_) self->listener_->pageDidFinishLoading();
    }

    static gboolean decidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                 gpointer data) {
        auto* self = static_cast<WebKitWindow*>(data);
        if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
            type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
            return FALSE;  // responses: WebKit's default
        auto* navigation = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
        WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(navigation);
        WebKitURIRequest* request = webkit_navigation_action_get_request(action);
        NavigationRequest req;
        if (const gchar* uri = request ? webkit_uri_request_get_uri(request) : nullptr) req.url = uri;
        req.linkActivated = webkit_navigation_action_get_navigation_type(action) == WEBKIT_NAVIGATION_TYPE_LINK_CLICKED;
        // A new window is never opened in place; treat it like a link.
        if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) req.linkActivated = true;
        bool allow = self->listener_ && self->listener_->decideNavigation(req);
        if (allow) webkit_policy_decision_use(decision);
        else webkit_policy_decision_ignore(decision);
        return TRUE;
    }

    static gboolean deleteEvent(GtkWidget* widget, GdkEvent*, gpointer data) {
        auto* self = static_cast<WebKitWindow*>(data);
        if (self->listener_) self->listener_->windowWillClose();
        gtk_widget_hide(widget);  // kept, so presenting again needs no reload
        return TRUE;
    }
};

WebKitWindow::WebKitWindow(const WebViewWindowSpec& spec) : handler_(spec.scriptHandler) {
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    if (!handler_.empty()) {
        webkit_user_content_manager_register_script_message_handler(content, handler_.c_str());
        std::string signal = "script-message-received::" + handler_;
        g_signal_connect(content, signal.c_str(), G_CALLBACK(Signals::scriptMessage), this);
    }
    webView_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_user_content_manager(content));
    g_object_unref(content);
    g_object_ref_sink(webView_);

    GdkRGBA background{spec.background[0], spec.background[1], spec.background[2], spec.background[3]};
    webkit_web_view_set_background_color(webView_, &background);
    WebKitSettings* settings = webkit_web_view_get_settings(webView_);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    g_signal_connect(webView_, "load-changed", G_CALLBACK(Signals::loadChanged), this);
    g_signal_connect(webView_, "decide-policy", G_CALLBACK(Signals::decidePolicy), this);

    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_ref_sink(window_);
    gtk_window_set_title(GTK_WINDOW(window_), spec.title.c_str());
    gtk_window_set_default_size(GTK_WINDOW(window_), spec.width, spec.height);
    gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(webView_));
    g_signal_connect(window_, "delete-event", G_CALLBACK(Signals::deleteEvent), this);
}

WebKitWindow::~WebKitWindow() {
    g_signal_handlers_disconnect_by_data(webView_, this);
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_user_content_manager(webView_), this);
    g_signal_handlers_disconnect_by_data(window_, this);
    gtk_widget_destroy(window_);
    g_object_unref(window_);
    g_object_unref(webView_);
}

void WebKitWindow::loadFile(const std::filesystem::path& file, const std::filesystem::path&) {
    // File pages may load their own scripts and styles from beside them; the
    // navigation policy keeps them from going anywhere else.
    gchar* uri = g_filename_to_uri(file.c_str(), nullptr, nullptr);
    if (!uri) return;
    webkit_web_view_load_uri(webView_, uri);
    g_free(uri);
}

void WebKitWindow::evaluateScript(const std::string& script, ScriptDone done) {
    struct Pending {
        ScriptDone done;
    };
    auto* pending = new Pending{std::move(done)};
    webkit_web_view_evaluate_javascript(
        webView_, script.c_str(), static_cast<gssize>(script.size()), nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
            GError* error = nullptr;
            JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
            if (value) g_object_unref(value);
            std::optional<std::string> message;
            if (error) {
                message = error->message;
                g_error_free(error);
            }
            if (pending->done) pending->done(std::move(message));
        },
        pending);
}

bool WebKitWindow::isVisible() const { return gtk_widget_get_visible(window_); }

void WebKitWindow::bringToFront() {
    gtk_widget_show_all(window_);
    gtk_window_present(GTK_WINDOW(window_));
}

void WebKitWindow::hide() { gtk_widget_hide(window_); }

bool WebKitWindow::saveSnapshot(const std::filesystem::path& png) {
    struct Wait {
        bool finished = false;
        cairo_surface_t* surface = nullptr;
    } wait;
    webkit_web_view_get_snapshot(
        webView_, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* w = static_cast<Wait*>(data);
            w->surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
            w->finished = true;
        },
        &wait);
    while (!wait.finished) g_main_context_iteration(nullptr, TRUE);
    if (!wait.surface) return false;
    bool ok = cairo_surface_write_to_png(wait.surface, png.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(wait.surface);
    return ok;
}

}  // namespace velmar::linux_backend
