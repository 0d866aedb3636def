#pragma once
// A scripted helper panel: where the settings window is, which screens there
// are, and a record of every show and hide.

#include "platform/HelperPanel.hpp"

#include <cstddef>
#include <utility>

namespace velmar::sim {

class SimHelperPanel final : public HelperPanel {
public:
    Size size() const override { return panelSize; }
    void show(const Rect& frame) override {
        shows.push_back(frame);
        shown = true;
    }
    void hide() override {
        ++hides;
        shown = false;
    }
    void setOnClose(std::function<void()> onClose) override { onClose_ = std::move(onClose); }
    std::optional<Rect> settingsWindow() override {
        ++windowLookups;
        return window;
    }
    std::vector<ScreenInfo> screens() override { return screenList; }

    // The user presses the close button.
    void pressClose() {
        if (onClose_) onClose_();
    }

    // Script.
    Size panelSize{520, 120};
    std::optional<Rect> window;
    std::vector<ScreenInfo> screenList;
    // Record.
    std::vector<Rect> shows;
    std::size_t hides = 0;
    std::size_t windowLookups = 0;
    bool shown = false;

private:
    std::function<void()> onClose_;
};

}  // namespace velmar::sim
