#pragma once
// The small floating panel that guides the user through granting the
// accessibility permission, and what the desktop can tell about where the
// settings window it sits beside is. Coordinates are global with the origin at
// the bottom left of the first screen.

#include "platform/PanelGeometry.hpp"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

class HelperPanel {
public:
    virtual ~HelperPanel() = default;

    // The panel's current size; its frame is decided with it.
    virtual Size size() const = 0;
    // Places the panel at `frame` and shows it in front without taking the
    // keyboard; when it is already shown, only moves it.
    virtual void show(const Rect& frame) = 0;
    virtual void hide() = 0;
    // Runs when the user presses the panel's close button.
    virtual void setOnClose(std::function<void()> onClose) = 0;

    // The largest visible window of the settings application; absent when
    // none is on screen or the desktop cannot tell.
    virtual std::optional<Rect> settingsWindow() = 0;
    virtual std::vector<ScreenInfo> screens() = 0;
    // Whether an application identifier (of the front application) is the
    // desktop's settings application, beyond the ones every platform knows.
    virtual bool isSettingsApplication(const std::string& appId) const {
        (void)appId;
        return false;
    }
};

}  // namespace velmar
