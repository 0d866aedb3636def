#pragma once
// Input where there is no display to type into or click: every request is
// refused.

#include "platform/Input.hpp"

namespace velmar::headless {

class NoInput final : public Input {
public:
    bool openURLInNewWindow(const std::filesystem::path&, std::optional<int>, std::string_view) override { return false; }
    bool raiseWindow(const AXElementRef&) override { return false; }
    bool closeWindow(const AXElementRef&) override { return false; }
    bool clickCentre(const AXElementRef&) override { return false; }
    bool typeText(std::string_view) override { return false; }
    bool pressKey(std::string_view) override { return false; }
};

}  // namespace velmar::headless
