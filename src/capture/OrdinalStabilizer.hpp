#pragma once
// Maps the window positions of a virtualised transcript to conversation
// ordinals that stay put while the user scrolls and replies stream in. The
// window is anchored on user turns seen before (by text signature), else on
// the last settled reply; new turns are numbered after the anchor.
//
// One instance per conversation, on the surfaces whose parsers number turns by
// position. There is no un-priming: on `reset` the caller replaces the instance.

#include "capture/StabilizedSnapshot.hpp"
#include "parsing/RawTurn.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace velmar {

class OrdinalStabilizer {
public:
    // A turn's text signature: 64 bits, so two prompts of a long
    // conversation do not pass for one.
    using Sig = std::uint64_t;
    static Sig sigOf(std::string_view text);

    struct SettledAssistant {
        Sig sig = 0;
        int index = 0;
        bool operator==(const SettledAssistant&) const = default;
    };

    // With `settledMountsAreHistory`, a user turn that first appears already
    // answered is taken for an old turn scrolled into view, not a new exchange.
    explicit OrdinalStabilizer(bool settledMountsAreHistory) : settledMountsAreHistory_(settledMountsAreHistory) {}

    StabilizedSnapshot stabilize(const SegmenterSnapshot& snapshot);

    // Read-only views for the controllers' debug lines and for tests.
    bool settledMountsAreHistory() const { return settledMountsAreHistory_; }
    bool primed() const { return !indexBySig_.empty(); }
    const std::optional<RawTurn>& lastUser() const { return lastUser_; }
    const std::optional<SettledAssistant>& lastAssistant() const { return lastAssistant_; }
    bool isHistory(Sig sig) const { return historySigs_.contains(sig); }
    bool isArmed(Sig sig) const { return armedSigs_.contains(sig); }
    // Number of user turns the instance knows by signature.
    std::size_t knownUserTurns() const { return indexBySig_.size(); }

private:
    // `sigs[p]` is the signature of `turns[p]`.
    SegmenterSnapshot rebuild(std::vector<RawTurn> turns, const std::vector<Sig>& sigs,
                              const SegmenterSnapshot& snapshot, std::size_t dropBefore, int startPrev);
    void recordSettledAssistant(const std::vector<RawTurn>& turns, bool responseComplete);

    const bool settledMountsAreHistory_;
    std::unordered_set<Sig> armedSigs_;
    std::unordered_set<Sig> historySigs_;
    std::unordered_map<Sig, int> indexBySig_;
    std::optional<RawTurn> lastUser_;
    std::optional<SettledAssistant> lastAssistant_;
};

}  // namespace velmar
