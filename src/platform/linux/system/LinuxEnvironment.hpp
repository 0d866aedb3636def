#pragma once
// The process's own environment, read at the moment of use.

#include "platform/ProcessEnvironment.hpp"

namespace velmar::linux_backend {

class LinuxEnvironment final : public ProcessEnvironment {
public:
    std::optional<std::string> get(std::string_view name) const override;
    std::map<std::string, std::string> all() const override;
};

}  // namespace velmar::linux_backend
