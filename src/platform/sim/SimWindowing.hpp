#pragma once
// Windows that exist only as records: the activation policy, activations, and
// web-view windows a test drives by hand (finish the load, post a script
// message, try a navigation, close).

#include "platform/Windowing.hpp"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace velmar::sim {

class SimWebViewWindow final : public WebViewWindow {
public:
    explicit SimWebViewWindow(WebViewWindowSpec spec) : spec(std::move(spec)) {}

    void setListener(WebViewWindowListener* l) override { listener = l; }
    void loadFile(const std::filesystem::path& file, const std::filesystem::path& readAccess) override {
        loadedFile = file;
        readAccessDirectory = readAccess;
    }
    void evaluateScript(const std::string& script, ScriptDone done) override;
    bool isVisible() const override { return visible; }
    void bringToFront() override {
        visible = true;
        ++frontRequests;
    }
    void hide() override { visible = false; }

    // --- driving it ---
    void finishLoading();
    void postMessage(const std::string& handler, const nlohmann::json& body);
    bool navigate(const NavigationRequest& request);
    // The user closes the window (it hides; the page stays).
    void close();

    WebViewWindowSpec spec;
    WebViewWindowListener* listener = nullptr;
    std::filesystem::path loadedFile, readAccessDirectory;
    std::vector<std::string> evaluated;
    // A script equal to a key fails with that error text.
    std::map<std::string, std::string> scriptErrors;
    bool visible = false;
    int frontRequests = 0;
};

class SimWindowing final : public Windowing {
public:
    void setActivationPolicy(ActivationPolicy policy) override { policies.push_back(policy); }
    void activate() override { ++activations; }
    std::unique_ptr<WebViewWindow> createWebViewWindow(const WebViewWindowSpec& spec) override;

    std::vector<ActivationPolicy> policies;
    int activations = 0;
    // The last window created (owned by whoever asked for it).
    SimWebViewWindow* lastWindow = nullptr;
};

}  // namespace velmar::sim
