#include "capture/CaptureCounting.hpp"

#include "runtime/CaptureDiag.hpp"

#include <algorithm>

namespace velmar::CaptureCounting {

void countParsed(std::string_view surface, const SegmenterSnapshot& snapshot) {
    auto& diag = CaptureDiag::shared();
    using C = CaptureDiag::Counter;
    diag.bump(surface, C::parsedOk);
    const auto unknown = std::count_if(snapshot.turns.begin(), snapshot.turns.end(), [](const RawTurn& t) {
        return t.role != "user" && t.role != "assistant";
    });
    if (unknown > 0) diag.bump(surface, C::roleUnknown, unknown);
    if (snapshot.usedParityFallback) diag.bump(surface, C::parityFallback);
    if (!snapshot.turns.empty() && !snapshot.model && CaptureDiag::isModelSurface(surface)) {
        diag.bump(surface, C::modelNil);
    }
}

void countRouted(std::string_view surface, const ConversationRouter::Result& result) {
    auto& diag = CaptureDiag::shared();
    if (result.stabilizerReset) diag.bump(surface, CaptureDiag::Counter::stabilizerReset);
    if (result.stabilizerSkip) diag.bump(surface, CaptureDiag::Counter::stabilizerSkip);
}

}  // namespace velmar::CaptureCounting
