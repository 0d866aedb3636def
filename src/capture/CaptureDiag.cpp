#include "capture/CaptureDiag.hpp"

#include <algorithm>
#include <array>
#include <chrono>

namespace velmar {

namespace {

constexpr std::array<std::string_view, 15> counterNames = {
    "parsed_ok",        "parser_nil",       "keyless_view",  "role_unknown",  "parity_fallback",
    "stabilizer_reset", "stabilizer_skip",  "model_nil",     "verdict_ok",    "verdict_degraded",
    "emitted_tier2",    "emitted_tier1",    "emitted_tier0", "duplicate_suppressed", "turns_dropped",
};

std::int64_t cappedSum(std::int64_t a, std::int64_t b) {
    return std::min(CaptureDiag::cap, a + b);  // both are within [0, cap], so no overflow
}

}  // namespace

std::string_view CaptureDiag::name(Counter counter) { return counterNames.at(static_cast<std::size_t>(counter)); }

bool CaptureDiag::isModelSurface(std::string_view surface) {
    return surface == "claude_ai" || surface == "claude_desktop" || surface == "claude_cowork" ||
           surface == "claude_design" || surface == "gemini";
}

CaptureDiag::CaptureDiag(TimePoint windowStart) : windowStart_(windowStart) {}

void CaptureDiag::bump(std::string_view surface, Counter counter, std::int64_t by) {
    if (by < 1 || surface.empty()) return;
    auto it = counts_.find(surface);
    if (it == counts_.end()) it = counts_.emplace(std::string(surface), std::map<Counter, std::int64_t>{}).first;
    auto& value = it->second[counter];
    value = cappedSum(value, std::min(by, cap));
}

void CaptureDiag::mergeBack(InFlight batch) {
    for (auto& [surface, counters] : batch.counts) {
        auto& into = counts_[surface];
        for (auto [counter, value] : counters) into[counter] = cappedSum(into[counter], value);
    }
    windowStart_ = std::min(windowStart_, batch.windowStart);
}

std::optional<CaptureDiag::Delta> CaptureDiag::snapshotDeltas(TimePoint now) {
    if (inFlight_) {
        InFlight unanswered = std::move(*inFlight_);
        inFlight_.reset();
        mergeBack(std::move(unanswered));
    }
    if (counts_.empty()) return std::nullopt;

    Delta delta;
    delta.seq = nextSeq_++;
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - windowStart_).count();
    delta.windowSeconds = std::clamp<std::int64_t>(elapsed, 1, maxWindowSeconds);
    // Only what is sent goes in flight: surfaces beyond the batch limit stay
    // counted for the next batch instead of being acknowledged unseen.
    Counts sent;
    for (auto it = counts_.begin(); it != counts_.end();) {  // map order: ascending surface key
        if (it->second.empty()) {
            it = counts_.erase(it);
            continue;
        }
        if (delta.stats.size() == maxSurfacesPerBatch) break;
        delta.stats.push_back({it->first, delta.windowSeconds, it->second});
        sent.insert(counts_.extract(it++));
    }
    inFlight_ = InFlight{delta.seq, std::move(sent), windowStart_};
    if (counts_.empty()) windowStart_ = now;
    return delta;
}

void CaptureDiag::ack(std::int64_t seq) {
    if (inFlight_ && inFlight_->seq == seq) inFlight_.reset();
}

void CaptureDiag::nack(std::int64_t seq) {
    if (!inFlight_ || inFlight_->seq != seq) return;
    InFlight refused = std::move(*inFlight_);
    inFlight_.reset();
    mergeBack(std::move(refused));
}

std::int64_t CaptureDiag::count(std::string_view surface, Counter counter) const {
    auto it = counts_.find(surface);
    if (it == counts_.end()) return 0;
    auto c = it->second.find(counter);
    return c == it->second.end() ? 0 : c->second;
}

}  // namespace velmar
