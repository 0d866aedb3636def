#pragma once
// The agent's own process environment, read at the moment of use.

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace velmar {

class ProcessEnvironment {
public:
    virtual ~ProcessEnvironment() = default;
    virtual std::optional<std::string> get(std::string_view name) const = 0;
    virtual std::map<std::string, std::string> all() const = 0;

    // A switch is on only when its value is exactly "1".
    bool isOn(std::string_view name) const { return get(name) == "1"; }
};

}  // namespace velmar
