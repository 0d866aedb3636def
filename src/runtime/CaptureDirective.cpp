#include "runtime/CaptureDirective.hpp"

namespace velmar {

std::optional<std::string> CaptureDirective::menuLine() const {
    if (kind == Kind::run) return std::nullopt;
    std::string line = "Capture paused by your organization";
    if (scope == "device") line += " (this device)";
    return line;
}

}  // namespace velmar
