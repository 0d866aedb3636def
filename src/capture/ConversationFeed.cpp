#include "capture/ConversationFeed.hpp"

#include "capture/CaptureDiag.hpp"
#include "surfaces/SurfaceTraits.hpp"

#include <algorithm>

namespace velmar {

ConversationFeed::ConversationFeed(TurnAssembler::EventHandler onEvent, CaptureDiag& diag, MarkPolicy policy,
                                   ConversationRouter::ReadAgainHandler readAgain)
    : diag_(diag), policy_(policy), readAgain_(std::move(readAgain)), router_(std::move(onEvent), &diag) {}

void ConversationFeed::countParsed(const std::string& surface, const SegmenterSnapshot& snapshot) {
    using C = CaptureDiag::Counter;
    diag_.bump(surface, C::parsedOk);
    const auto unknown = std::count_if(snapshot.turns.begin(), snapshot.turns.end(), [](const RawTurn& t) {
        return t.role != "user" && t.role != "assistant";
    });
    if (unknown > 0) diag_.bump(surface, C::roleUnknown, unknown);
    if (snapshot.usedParityFallback) diag_.bump(surface, C::parityFallback);
    if (!snapshot.turns.empty() && !snapshot.model && CaptureDiag::isModelSurface(surface)) diag_.bump(surface, C::modelNil);
}

ConversationFeed::Outcome ConversationFeed::ingest(const Read& read, SegmenterSnapshot& snapshot, TimePoint now) {
    countParsed(read.surface, snapshot);
    if (read.stopShown) router_.judgeCompletion(read.key, snapshot, now, read.stopShown, read.lastNotified, readAgain_);

    Outcome outcome;
    const bool whenProcessed = policy_ == MarkPolicy::clearedWhenProcessed;
    const bool takesWhateverShown = whenProcessed && read.surface == SurfaceKey::claudeDesign;
    outcome.fromNewChat = read.takesNewChat && newChat_.contains(read.slot) &&
                          (takesWhateverShown || !snapshot.turns.empty());
    if (outcome.fromNewChat && !whenProcessed) newChat_.erase(read.slot);
    std::optional<std::string> draft;
    if (auto it = drafts_.find(read.slot); outcome.fromNewChat && it != drafts_.end()) draft = it->second;

    outcome.routed = router_.route(read.key, read.surface, snapshot, now, outcome.fromNewChat, draft);
    if (outcome.routed.stabilizerReset) diag_.bump(read.surface, CaptureDiag::Counter::stabilizerReset);
    if (outcome.routed.stabilizerSkip) diag_.bump(read.surface, CaptureDiag::Counter::stabilizerSkip);
    if (outcome.fromNewChat && outcome.routed.processed) newChat_.erase(read.slot);
    if (outcome.routed.draftConsumed) drafts_.erase(read.slot);
    return outcome;
}

}  // namespace velmar
