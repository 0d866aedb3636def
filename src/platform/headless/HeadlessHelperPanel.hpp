#pragma once
// The accessibility helper panel where there is no display: no screens and no
// settings window, so it is never placed; showing and hiding do nothing.

#include "platform/HelperPanel.hpp"

namespace velmar::headless {

class HeadlessHelperPanel final : public HelperPanel {
public:
    // The size the panel would have on a desktop.
    Size size() const override { return {520, 120}; }
    void show(const Rect&) override {}
    void hide() override {}
    void setOnClose(std::function<void()>) override {}
    std::optional<Rect> settingsWindow() override { return std::nullopt; }
    std::vector<ScreenInfo> screens() override { return {}; }
};

}  // namespace velmar::headless
