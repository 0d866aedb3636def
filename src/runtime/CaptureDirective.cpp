#include "runtime/CaptureDirective.hpp"

#include <nlohmann/json.hpp>

namespace velmar {

std::optional<CaptureDirective> CaptureDirective::parse(const nlohmann::json& message) {
    if (!message.is_object()) return std::nullopt;
    auto type = message.find("type");
    if (type == message.end() || !type->is_string() || *type != "capture_directive") return std::nullopt;
    auto capture = message.find("capture");
    if (capture == message.end() || !capture->is_string()) return std::nullopt;
    if (*capture == "run") return run();
    if (*capture != "pause") return std::nullopt;
    auto scope = message.find("scope");
    if (scope != message.end() && scope->is_string()) return pause(scope->get<std::string>());
    return pause();
}

}  // namespace velmar
