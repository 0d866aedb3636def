#pragma once
// A scripted process environment.

#include "platform/ProcessEnvironment.hpp"

#include <initializer_list>
#include <utility>

namespace velmar::sim {

class SimEnvironment final : public ProcessEnvironment {
public:
    SimEnvironment() = default;
    SimEnvironment(std::initializer_list<std::pair<const std::string, std::string>> values) : values_(values) {}

    std::optional<std::string> get(std::string_view name) const override;
    std::map<std::string, std::string> all() const override { return {values_.begin(), values_.end()}; }

    void set(std::string name, std::string value) { values_.insert_or_assign(std::move(name), std::move(value)); }
    void unset(std::string_view name);

private:
    std::map<std::string, std::string, std::less<>> values_;
};

}  // namespace velmar::sim
