#pragma once
// The core's policy decision on whether this device may capture (its wire
// form is read in CoreContract).

#include <optional>
#include <string>

namespace velmar {

struct CaptureDirective {
    enum class Kind { pause, run };
    Kind kind = Kind::run;
    std::optional<std::string> scope;  // only meaningful for a pause

    static CaptureDirective pause(std::optional<std::string> scope = std::nullopt) {
        return {Kind::pause, std::move(scope)};
    }
    static CaptureDirective run() { return {Kind::run, std::nullopt}; }

    bool isPause() const { return kind == Kind::pause; }

    bool operator==(const CaptureDirective& other) const {
        if (kind != other.kind) return false;
        return kind == Kind::run || scope == other.scope;
    }
};

}  // namespace velmar
