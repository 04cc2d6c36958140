#include "x11editor/helper/page_view.h"

#include <cstring>

#include <webkit2/webkit2.h>

namespace {

constexpr char kChannel[] = "yawp";

// Runs before any of the page's scripts. Only strings cross, as with
// WebView2's string messages; a listener that throws does not keep the
// others from hearing the message.
constexpr char kWebViewShim[] = R"js(
(function () {
  'use strict';
  var channel = window.webkit.messageHandlers.yawp;
  var listeners = [];
  var webview = {
    postMessage: function (message) {
      if (typeof message === 'string') channel.postMessage(message);
    },
    addEventListener: function (type, listener) {
      if (type === 'message' && typeof listener === 'function' && listeners.indexOf(listener) < 0)
        listeners.push(listener);
    },
    removeEventListener: function (type, listener) {
      var at = listeners.indexOf(listener);
      if (type === 'message' && at >= 0) listeners.splice(at, 1);
    }
  };
  window.chrome = window.chrome || {};
  Object.defineProperty(window.chrome, 'webview', { value: webview });
  // Each argument is one message, in order (see page_batch.h).
  Object.defineProperty(window, '__yawpDeliver', {
    value: function () {
      for (var k = 0; k < arguments.length; k++) {
        var event = { type: 'message', data: arguments[k], source: webview };
        listeners.slice().forEach(function (listener) {
          try { listener.call(webview, event); } catch (e) { setTimeout(function () { throw e; }); }
        });
      }
    }
  });
})();
)js";

// GTK keeps the font resolution in 1024ths of a dot per inch; 96 is what
// desktops call 1.
constexpr double kXftDpiUnit = 1024.0;
constexpr double kUnscaledDpi = 96.0;
constexpr char kHostScaleKey[] = "yawp-host-scale";

struct Channel {
    PageTextHandler handler;
    void* user_data;
};

void on_script_message(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
    auto* channel = static_cast<Channel*>(data);
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_string(value)) return;
    char* text = jsc_value_to_string(value);
    if (text != nullptr) channel->handler(channel->user_data, text);
    g_free(text);
}

// Only the page's own files stay in the view; web links open in the
// desktop's browser, as on Windows.
gboolean on_decide_policy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                          gpointer) {
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
    auto* navigation = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(navigation);
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    const bool local = uri != nullptr && g_str_has_prefix(uri, "file:");
    if (local && type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) return FALSE;
    webkit_policy_decision_ignore(decision);
    if (uri != nullptr && (g_str_has_prefix(uri, "https:") || g_str_has_prefix(uri, "http:")) &&
        webkit_navigation_action_is_user_gesture(action)) {
        GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view));
        gtk_show_uri_on_window(GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr, uri, GDK_CURRENT_TIME, nullptr);
    }
    return TRUE;
}

// The desktop's scale when GDK does not scale by itself: the font
// resolution the desktop asks for (Xft.dpi), 1 when it asks for none.
double desktop_font_scale(GtkWidget* view) {
    gint dpi = 0;
    g_object_get(gtk_widget_get_settings(view), "gtk-xft-dpi", &dpi, nullptr);
    return dpi > 0 ? dpi / kXftDpiUnit / kUnscaledDpi : 1.0;
}

// GDK draws every widget at its own scale factor already (whole numbers
// only); WebKit's zoom makes up the rest. The host's scale replaces GDK's,
// it is never multiplied with it: under GDK_SCALE=2 with a host scale of 2
// the zoom is 1.
void apply_scale(GtkWidget* view) {
    const double host = *static_cast<const double*>(g_object_get_data(G_OBJECT(view), kHostScaleKey));
    const int gdk_scale = gtk_widget_get_scale_factor(view);
    const double zoom = host > 0 ? host / gdk_scale : gdk_scale > 1 ? 1.0 : desktop_font_scale(view);
    if (webkit_web_view_get_zoom_level(WEBKIT_WEB_VIEW(view)) != zoom)
        webkit_web_view_set_zoom_level(WEBKIT_WEB_VIEW(view), zoom);
}

}  // namespace

GtkWidget* page_view_new(const char* page_file, PageTextHandler handler, void* user_data) {
    char* uri = g_filename_to_uri(page_file, nullptr, nullptr);
    if (uri == nullptr) return nullptr;
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    WebKitUserScript* shim = webkit_user_script_new(kWebViewShim, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                    WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, shim);
    webkit_user_script_unref(shim);
    auto* channel = g_new(Channel, 1);
    *channel = Channel{handler, user_data};
    g_signal_connect_data(content, "script-message-received::yawp", G_CALLBACK(on_script_message), channel,
                          [](gpointer data, GClosure*) { g_free(data); }, GConnectFlags(0));
    webkit_user_content_manager_register_script_message_handler(content, kChannel);

    GtkWidget* view = webkit_web_view_new_with_user_content_manager(content);
    g_object_unref(content);
    WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view));
    // The page loads its scripts and styles from the folder it lives in.
    webkit_settings_set_allow_file_access_from_file_urls(settings, TRUE);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    g_signal_connect(view, "decide-policy", G_CALLBACK(on_decide_policy), nullptr);
    // Our own menu only would offer "Reload" and "Back": nothing for a musician.
    g_signal_connect(view, "context-menu", G_CALLBACK(+[](GtkWidget*, gpointer, gpointer, gpointer) -> gboolean {
                         return TRUE;
                     }),
                     nullptr);
    // The scale GDK draws at is known once the view is on a screen, and
    // changes when the desktop's does.
    g_object_set_data_full(G_OBJECT(view), kHostScaleKey, g_new0(double, 1), g_free);
    g_signal_connect(view, "notify::scale-factor", G_CALLBACK(+[](GtkWidget* v, GParamSpec*, gpointer) {
                         apply_scale(v);
                     }),
                     nullptr);
    apply_scale(view);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), uri);
    g_free(uri);
    return view;
}

void page_view_run_script(GtkWidget* view, const char* script, size_t length) {
    webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view), script, gssize(length), nullptr, nullptr, nullptr,
                                        nullptr, nullptr);
}

void page_view_set_scale(GtkWidget* view, double host_scale) {
    *static_cast<double*>(g_object_get_data(G_OBJECT(view), kHostScaleKey)) = host_scale;
    apply_scale(view);
}
