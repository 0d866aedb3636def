#pragma once
// The agent's own windows: whether it shows as a regular application while a
// window is up, and the one web-view window of the sign-in flow (a local page
// that talks to the agent through named script messages).

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace velmar {

enum class ActivationPolicy { regular, accessory };

struct NavigationRequest {
    std::optional<std::string> url;  // absent when the engine gave none
    bool linkActivated = false;      // started by clicking a link
};

class WebViewWindowListener {
public:
    virtual ~WebViewWindowListener() = default;
    virtual void pageDidFinishLoading() = 0;
    // Only for handlers registered in the window's spec.
    virtual void didReceiveScriptMessage(const std::string& handler, const nlohmann::json& body) = 0;
    // True lets the navigation happen.
    virtual bool decideNavigation(const NavigationRequest& request) = 0;
    virtual void windowWillClose() = 0;
};

class WebViewWindow {
public:
    using ScriptDone = std::function<void(std::optional<std::string> error)>;

    virtual ~WebViewWindow() = default;
    // Not owned; cleared with nullptr before the listener goes away.
    virtual void setListener(WebViewWindowListener* listener) = 0;
    // Loads a local file, letting it read everything under `readAccess`.
    virtual void loadFile(const std::filesystem::path& file, const std::filesystem::path& readAccess) = 0;
    // `done` runs on the main thread (at once or later) with the error text,
    // or absent on success.
    virtual void evaluateScript(const std::string& script, ScriptDone done) = 0;
    virtual bool isVisible() const = 0;
    // Shows the window in front of the others and gives it the keyboard.
    virtual void bringToFront() = 0;
    // Hides without destroying; the page stays loaded.
    virtual void hide() = 0;
};

struct WebViewWindowSpec {
    std::string title;
    int width = 0;
    int height = 0;
    double background[4] = {1, 1, 1, 1};  // sRGB with alpha
    std::string scriptHandler;            // the name page scripts post to
};

class Windowing {
public:
    virtual ~Windowing() = default;
    virtual void setActivationPolicy(ActivationPolicy policy) = 0;
    // Brings the application in front of the others.
    virtual void activate() = 0;
    virtual std::unique_ptr<WebViewWindow> createWebViewWindow(const WebViewWindowSpec& spec) = 0;
};

}  // namespace velmar
