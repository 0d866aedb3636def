#pragma once
// Keeps the core informed of the agent's state: a routine "agent_status"
// every five minutes, one at once on every edge (trust, pause, sign-in), and
// with every sixth routine beat, or any edge, the capture diagnostics counted
// since the last acknowledged batch with the providers' versions.

#include "platform/Clock.hpp"
#include "platform/MainLoop.hpp"
#include "runtime/CoreContract.hpp"
#include "runtime/ProviderVersions.hpp"

#include <functional>
#include <memory>
#include <string>

namespace velmar {

class Accessibility;
class CaptureDiag;
class Workspace;

class Heartbeat : public std::enable_shared_from_this<Heartbeat> {
public:
    static constexpr Duration interval{300'000};
    static constexpr Duration tolerance{30'000};
    static constexpr int beatsPerStats = 6;

    struct Ports {
        MainLoop& loop;
        Accessibility& accessibility;
        Workspace& workspace;
        CaptureDiag& diag;
    };
    struct Hooks {
        std::function<void(const nlohmann::json&)> send;  // to the core, when one runs
        std::function<int()> attachedCount;
    };

    static std::shared_ptr<Heartbeat> create(Ports ports, Hooks hooks, std::string deviceId);

    void start();
    void stop() { timer_.cancel(); }
    void beat(bool edge);
    // The core's answer to a batch: counted as delivered, or kept for the next.
    void answered(const core_contract::StatusResult& result);

private:
    Heartbeat(Ports ports, Hooks hooks, std::string deviceId);

    Ports ports_;
    Hooks hooks_;
    const std::string deviceId_;
    ProviderVersions providerVersions_;
    ScopedTimer timer_;
    int routineBeatsSinceStats_ = 0;
};

}  // namespace velmar
