#pragma once
// Simulated process-level accessibility: a trust switch and the running
// applications' root elements by process id.

#include "platform/Accessibility.hpp"
#include "platform/sim/SimElement.hpp"

#include <map>

namespace velmar::sim {

class SimAccessibility final : public Accessibility {
public:
    bool isProcessTrusted() const override { return trusted_; }
    AXElementRef applicationElement(int pid) const override;

    void setTrusted(bool trusted) { trusted_ = trusted; }
    void addApplication(int pid, SimElementPtr app) { apps_[pid] = std::move(app); }
    void removeApplication(int pid) { apps_.erase(pid); }

private:
    bool trusted_ = true;
    std::map<int, SimElementPtr> apps_;
};

}  // namespace velmar::sim
