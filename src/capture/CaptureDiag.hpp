#pragma once
// Per-surface counters of what capture saw and did, reported to the core in
// acknowledged batches so that no count is lost or counted twice when the core
// or its network is down. Counts only, never content. The composition root
// owns the one instance and hands it to whatever counts.

#include "platform/Clock.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class CaptureDiag {
public:
    enum class Counter {
        parsedOk,
        parserNil,
        keylessView,
        roleUnknown,
        parityFallback,
        stabilizerReset,
        stabilizerSkip,
        modelNil,
        verdictOk,
        verdictDegraded,
        emittedTier2,
        emittedTier1,
        emittedTier0,
        duplicateSuppressed,
        turnsDropped,
    };
    static std::string_view name(Counter counter);

    static constexpr std::int64_t cap = 1'000'000;
    static constexpr std::int64_t maxWindowSeconds = 604'800;
    static constexpr std::size_t maxSurfacesPerBatch = 12;

    // Surfaces on which a model name is expected.
    static bool isModelSurface(std::string_view surface);

    struct SurfaceStats {
        std::string surface;
        std::int64_t windowSeconds = 0;
        std::map<Counter, std::int64_t> counts;  // the counters that moved
    };
    struct Delta {
        std::int64_t seq = 0;
        std::int64_t windowSeconds = 0;
        std::vector<SurfaceStats> stats;  // ascending surface key
    };

    explicit CaptureDiag(TimePoint windowStart);

    void bump(std::string_view surface, Counter counter, std::int64_t by = 1);
    std::optional<Delta> snapshotDeltas(TimePoint now);
    void ack(std::int64_t seq);
    void nack(std::int64_t seq);

    // The current (not yet batched) count, for tests and the menu.
    std::int64_t count(std::string_view surface, Counter counter) const;
    bool hasInFlight() const { return inFlight_.has_value(); }

private:
    using Counts = std::map<std::string, std::map<Counter, std::int64_t>, std::less<>>;
    struct InFlight {
        std::int64_t seq;
        Counts counts;
        TimePoint windowStart;
    };

    void mergeBack(InFlight batch);

    Counts counts_;
    TimePoint windowStart_;
    std::optional<InFlight> inFlight_;
    std::int64_t nextSeq_ = 1;
};

}  // namespace velmar
