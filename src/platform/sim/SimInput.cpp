#include "platform/sim/SimInput.hpp"

namespace velmar::sim {

bool SimInput::record(Event event) {
    events_.push_back(event);
    return onEvent ? onEvent(events_.back()) : true;
}

bool SimInput::openURLInNewWindow(const std::filesystem::path&, std::optional<int>, std::string_view url) {
    return record({Event::Kind::openURL, std::string(url), nullptr});
}

bool SimInput::raiseWindow(const AXElementRef& window) { return record({Event::Kind::raise, {}, window}); }

bool SimInput::closeWindow(const AXElementRef& window) { return record({Event::Kind::close, {}, window}); }

bool SimInput::clickCentre(const AXElementRef& element) {
    if (!clicksMissFocus) {
        if (auto* e = dynamic_cast<const SimElement*>(element.get())) {
            if (focused_ && focused_ != e) focused_->setBoolAttribute("AXFocused", false);
            e->setBoolAttribute("AXFocused", true);
            focused_ = e;
        }
    }
    return record({Event::Kind::click, {}, element});
}

bool SimInput::typeText(std::string_view text) {
    if (focused_ && !typingMisses) {
        auto* e = const_cast<SimElement*>(focused_);
        std::string value;
        if (auto old = e->copyAttribute("AXValue"))
            if (auto* s = std::get_if<std::string>(&*old)) value = *s;
        e->setString("AXValue", value + std::string(text));
    }
    return record({Event::Kind::type, std::string(text), nullptr});
}

bool SimInput::pressKey(std::string_view key) { return record({Event::Kind::key, std::string(key), nullptr}); }

}  // namespace velmar::sim
