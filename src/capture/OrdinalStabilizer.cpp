#include "capture/OrdinalStabilizer.hpp"

#include <xxhash.h>

#include <algorithm>

namespace velmar {

namespace {

bool isUser(const RawTurn& t) { return t.role == "user"; }
bool isAssistant(const RawTurn& t) { return t.role == "assistant"; }

// The snapshot's facts around a new turn list; drafts never pass the stabilizer.
SegmenterSnapshot withTurns(const SegmenterSnapshot& s, std::vector<RawTurn> turns) {
    SegmenterSnapshot out;
    out.conversationKey = s.conversationKey;
    out.turns = std::move(turns);
    out.model = s.model;
    out.responseComplete = s.responseComplete;
    out.inProject = s.inProject;
    out.surface = s.surface;
    return out;
}

}  // namespace

OrdinalStabilizer::Sig OrdinalStabilizer::sigOf(std::string_view text) { return XXH3_64bits(text.data(), text.size()); }

StabilizedSnapshot OrdinalStabilizer::stabilize(const SegmenterSnapshot& snapshot) {
    if (snapshot.turns.empty()) return StabilizedSnapshot::stabilized(snapshot);
    std::vector<RawTurn> turns = snapshot.turns;
    const auto byIndex = [](const RawTurn& a, const RawTurn& b) { return a.index < b.index; };
    if (!std::is_sorted(turns.begin(), turns.end(), byIndex)) std::stable_sort(turns.begin(), turns.end(), byIndex);
    // Every turn of every read is hashed: once each, here.
    std::vector<Sig> sigs(turns.size());
    for (std::size_t p = 0; p < turns.size(); ++p) sigs[p] = sigOf(turns[p].text);

    if (indexBySig_.empty()) return StabilizedSnapshot::stabilized(rebuild(std::move(turns), sigs, snapshot, 0, 0));

    // Anchor on user turns seen before: their ordinals must rise down the window.
    std::optional<std::size_t> firstKnown;
    int previousOrdinal = 0;
    bool ordered = true;
    for (std::size_t p = 0; p < turns.size(); ++p) {
        if (!isUser(turns[p])) continue;
        auto it = indexBySig_.find(sigs[p]);
        if (it == indexBySig_.end()) continue;
        if (firstKnown && it->second <= previousOrdinal) ordered = false;
        if (!firstKnown) firstKnown = p;
        previousOrdinal = it->second;
    }
    if (firstKnown) {
        if (!ordered) return StabilizedSnapshot::reset();
        return StabilizedSnapshot::stabilized(rebuild(std::move(turns), sigs, snapshot, *firstKnown, 0));
    }

    // Else on the last settled reply, when it is still in view.
    if (lastAssistant_) {
        for (std::size_t p = turns.size(); p-- > 0;) {
            if (isAssistant(turns[p]) && sigs[p] == lastAssistant_->sig) {
                return StabilizedSnapshot::stabilized(rebuild(std::move(turns), sigs, snapshot, p, lastAssistant_->index - 1));
            }
        }
    }

    if (std::any_of(turns.begin(), turns.end(), isUser)) return StabilizedSnapshot::reset();

    // Only replies in view (the tail of a long answer): pair the last reply with
    // the remembered prompt.
    if (!lastUser_ || !isAssistant(turns.back())) return StabilizedSnapshot::skip();
    const int u = lastUser_->index;
    RawTurn prompt = *lastUser_;
    prompt.index = u;
    prompt.total = u + 1;
    RawTurn reply = turns.back();
    reply.index = u + 1;
    reply.total = u + 1;
    std::vector<RawTurn> pair{std::move(prompt), std::move(reply)};
    recordSettledAssistant(pair, snapshot.responseComplete);
    return StabilizedSnapshot::stabilized(withTurns(snapshot, std::move(pair)));
}

SegmenterSnapshot OrdinalStabilizer::rebuild(std::vector<RawTurn> turns, const std::vector<Sig>& sigs,
                                             const SegmenterSnapshot& snapshot, std::size_t dropBefore, int startPrev) {
    const bool primedOnEntry = !indexBySig_.empty();
    int running = startPrev;
    bool suppress = false;
    std::vector<RawTurn> out;
    out.reserve(turns.size());

    for (std::size_t p = dropBefore; p < turns.size(); ++p) {
        RawTurn& turn = turns[p];
        if (isUser(turn)) {
            const Sig sig = sigs[p];
            if (auto it = indexBySig_.find(sig); it != indexBySig_.end()) {
                if (it->second <= running) return withTurns(snapshot, {});
                running = it->second;
                if (historySigs_.contains(sig)) {
                    suppress = true;
                    continue;
                }
            } else {
                running += 1;
                indexBySig_.emplace(sig, running);
                if (settledMountsAreHistory_ && primedOnEntry && !armedSigs_.contains(sig)) {
                    // Last in view, or followed only by a reply still
                    // streaming (which a read mid-update may show in pieces).
                    const bool liveSend =
                        p + 1 == turns.size() ||
                        (!snapshot.responseComplete &&
                         std::all_of(turns.begin() + static_cast<std::ptrdiff_t>(p) + 1, turns.end(), isAssistant));
                    if (!liveSend) {
                        historySigs_.insert(sig);
                        suppress = true;
                        continue;
                    }
                    armedSigs_.insert(sig);
                }
            }
            turn.index = running;
            out.push_back(std::move(turn));
            suppress = false;
            continue;
        }

        // Replies consume an ordinal even when withheld, so later ordinals do
        // not depend on what was withheld.
        running += 1;
        if (isAssistant(turn) && suppress) continue;
        if (!isAssistant(turn)) suppress = false;
        turn.index = running;
        out.push_back(std::move(turn));
    }

    for (auto& t : out) t.total = running;
    for (auto it = out.rbegin(); it != out.rend(); ++it) {
        if (isUser(*it)) {
            lastUser_ = *it;
            break;
        }
    }
    recordSettledAssistant(out, snapshot.responseComplete);
    return withTurns(snapshot, std::move(out));
}

void OrdinalStabilizer::recordSettledAssistant(const std::vector<RawTurn>& turns, bool responseComplete) {
    if (turns.empty()) return;
    const int lastIndex = turns.back().index;
    for (auto it = turns.rbegin(); it != turns.rend(); ++it) {
        if (isAssistant(*it) && (responseComplete || it->index != lastIndex)) {
            lastAssistant_ = SettledAssistant{sigOf(it->text), it->index};
            return;
        }
    }
}

}  // namespace velmar
