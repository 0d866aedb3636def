#include "platform/headless/HeadlessWindowing.hpp"

namespace velmar::headless {
namespace {

class HeadlessWebViewWindow final : public WebViewWindow {
public:
    void setListener(WebViewWindowListener*) override {}
    void loadFile(const std::filesystem::path&, const std::filesystem::path&) override {}
    void evaluateScript(const std::string&, ScriptDone done) override {
        if (done) done(std::nullopt);
    }
    bool isVisible() const override { return visible_; }
    void bringToFront() override { visible_ = true; }
    void hide() override { visible_ = false; }

private:
    bool visible_ = false;
};

}  // namespace

std::unique_ptr<WebViewWindow> HeadlessWindowing::createWebViewWindow(const WebViewWindowSpec&) {
    return std::make_unique<HeadlessWebViewWindow>();
}

}  // namespace velmar::headless
