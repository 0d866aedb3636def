#include "platform/sim/SimWindowing.hpp"

namespace velmar::sim {

void SimWebViewWindow::evaluateScript(const std::string& script, ScriptDone done) {
    evaluated.push_back(script);
    auto error = scriptErrors.find(script);
    if (done) done(error == scriptErrors.end() ? std::nullopt : std::optional(error->second));
}

void SimWebViewWindow::finishLoading() {
    if (listener) listener->pageDidFinishLoading();
}

void SimWebViewWindow::postMessage(const std::string& handler, const nlohmann::json& body) {
    if (listener && handler == spec.scriptHandler) listener->didReceiveScriptMessage(handler, body);
}

bool SimWebViewWindow::navigate(const NavigationRequest& request) {
    return listener && listener->decideNavigation(request);
}

void SimWebViewWindow::close() {
    if (listener) listener->windowWillClose();
    visible = false;
}

std::unique_ptr<WebViewWindow> SimWindowing::createWebViewWindow(const WebViewWindowSpec& spec) {
    auto window = std::make_unique<SimWebViewWindow>(spec);
    lastWindow = window.get();
    return window;
}

}  // namespace velmar::sim
