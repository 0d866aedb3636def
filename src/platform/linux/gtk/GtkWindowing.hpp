#pragma once
// The agent's windows on a GTK desktop: a GtkWindow around a WebKitGTK web
// view for the sign-in page. A GTK desktop has no per-application dock
// presence to switch, so the activation policy changes nothing. GTK is set up only where a display exists:
// construct this only after `displayAvailable()` said yes.

#include "platform/Windowing.hpp"

#include <filesystem>
#include <optional>
#include <string>

typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitWebView WebKitWebView;

namespace velmar::linux_backend {

class GtkWindowing final : public Windowing {
public:
    // Initialises GTK once; false when there is no display to open.
    static bool displayAvailable();

    void setActivationPolicy(ActivationPolicy) override {}
    void activate() override {}
    std::unique_ptr<WebViewWindow> createWebViewWindow(const WebViewWindowSpec& spec) override;
};

class WebKitWindow final : public WebViewWindow {
public:
    explicit WebKitWindow(const WebViewWindowSpec& spec);
    ~WebKitWindow() override;

    void setListener(WebViewWindowListener* listener) override { listener_ = listener; }
    void loadFile(const std::filesystem::path& file, const std::filesystem::path& readAccess) override;
    void evaluateScript(const std::string& script, ScriptDone done) override;
    bool isVisible() const override;
    void bringToFront() override;
    void hide() override;

    // Writes what the page shows as a PNG, waiting on the main context for
    // the web process; false on failure. For tests and diagnostics.
    bool saveSnapshot(const std::filesystem::path& png);

    struct Signals;  // the C callbacks

private:
    friend struct Signals;
    WebViewWindowListener* listener_ = nullptr;
    std::string handler_;
    GtkWidget* window_ = nullptr;
    WebKitWebView* webView_ = nullptr;
};

}  // namespace velmar::linux_backend
