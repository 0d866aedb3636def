#include "runtime/Heartbeat.hpp"

#include "capture/CaptureDiag.hpp"
#include "platform/Accessibility.hpp"

namespace velmar {

std::shared_ptr<Heartbeat> Heartbeat::create(Ports ports, Hooks hooks, std::string deviceId) {
    return std::shared_ptr<Heartbeat>(new Heartbeat(ports, std::move(hooks), std::move(deviceId)));
}

Heartbeat::Heartbeat(Ports ports, Hooks hooks, std::string deviceId)
    : ports_(ports), hooks_(std::move(hooks)), deviceId_(std::move(deviceId)), providerVersions_(ports.workspace) {}

void Heartbeat::start() {
    timer_ = ports_.loop.repeating(interval, tolerance, weakly(shared_from_this(), [](Heartbeat& h) { h.beat(false); }));
}

void Heartbeat::beat(bool edge) {
    ++routineBeatsSinceStats_;
    std::optional<CaptureDiag::Delta> delta;
    std::map<std::string, std::string> versions;
    if (edge || routineBeatsSinceStats_ >= beatsPerStats) {
        const auto now = ports_.loop.now();
        delta = ports_.diag.snapshotDeltas(now);
        if (delta) {
            routineBeatsSinceStats_ = 0;
            versions = providerVersions_.current(now);
        }
    }
    core_contract::AgentStatus status;
    status.deviceId = deviceId_;
    status.axGranted = ports_.accessibility.isProcessTrusted();
    status.captureAttached = hooks_.attachedCount();
    status.edge = edge;
    if (delta) {
        status.statsSeq = delta->seq;
        status.captureStats = delta->stats;
        status.providerVersions = std::move(versions);
    }
    hooks_.send(core_contract::toJSON(status));
}

void Heartbeat::answered(const core_contract::StatusResult& result) {
    if (result.ok)
        ports_.diag.ack(result.statsSeq);
    else
        ports_.diag.nack(result.statsSeq);
}

}  // namespace velmar
