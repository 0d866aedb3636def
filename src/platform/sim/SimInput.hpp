#pragma once
// Scripted synthetic input: every request is recorded in order, and a test (or
// a scripted desktop) reacts to it through `onEvent`, for example by opening a
// window when an address is opened or by adding turns when Return is pressed.
// A click on an element gives that element the keyboard focus ("AXFocused");
// typed text lands in the focused element's "AXValue" unless told otherwise.

#include "platform/Input.hpp"
#include "platform/sim/SimElement.hpp"

#include <functional>
#include <string>
#include <vector>

namespace velmar::sim {

class SimInput final : public Input {
public:
    struct Event {
        enum class Kind { openURL, raise, close, click, type, key };
        Kind kind;
        std::string text;  // the address, the typed text or the key name
        AXElementRef element;  // the window or element, where there is one
    };

    bool openURLInNewWindow(const std::filesystem::path& executable, std::optional<int> runningPid,
                            std::string_view url) override;
    bool raiseWindow(const AXElementRef& window) override;
    bool closeWindow(const AXElementRef& window) override;
    bool clickCentre(const AXElementRef& element) override;
    bool typeText(std::string_view text) override;
    bool pressKey(std::string_view key) override;

    const std::vector<Event>& events() const { return events_; }
    // Runs after each event is recorded; its answer is the call's answer.
    std::function<bool(const Event&)> onEvent;
    // Typed text is not written into the focused element (it "misses").
    bool typingMisses = false;
    // Clicks do not move the focus.
    bool clicksMissFocus = false;

private:
    bool record(Event event);

    std::vector<Event> events_;
    const SimElement* focused_ = nullptr;
};

}  // namespace velmar::sim
