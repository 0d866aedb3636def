#include "capture/TurnAssembler.hpp"

#include "parsing/FnvHash.hpp"
#include "surfaces/SurfaceTraits.hpp"
#include "text/Unicode.hpp"

#include <algorithm>

namespace velmar {

namespace {

constexpr std::string_view kEllipsis = "\u2026";
constexpr std::size_t kMaxDrafts = 2;

bool isUser(const RawTurn& t) { return t.role == "user"; }
bool isAssistant(const RawTurn& t) { return t.role == "assistant"; }

// The turns by index, ties in snapshot order; pointers, so that a snapshot's
// texts are not copied just to put them in order.
std::vector<const RawTurn*> byIndex(const std::vector<RawTurn>& turns) {
    std::vector<const RawTurn*> out;
    out.reserve(turns.size());
    for (const auto& t : turns) out.push_back(&t);
    std::stable_sort(out.begin(), out.end(), [](const RawTurn* a, const RawTurn* b) { return a->index < b->index; });
    return out;
}

template <typename Range>
std::string listOf(const Range& items) {
    std::string out = "[";
    bool first = true;
    for (const auto& i : items) {
        out += (first ? "" : ", ") + std::to_string(i);
        first = false;
    }
    return out + "]";
}

}  // namespace

TurnAssembler::TurnAssembler(std::string surface, EventHandler onEvent, std::optional<bool> freshSendAcceptsSettledPair)
    : surface_(std::move(surface)),
      onEvent_(std::move(onEvent)),
      freshSendAcceptsSettledPair_(
          freshSendAcceptsSettledPair.value_or(SurfaceTraits::freshSendAcceptsSettledPair(surface_))) {}

void TurnAssembler::process(const SegmenterSnapshot& snapshot, TimePoint observedAt, bool fromNewChat) {
    lastProcessedAt_ = observedAt;
    if (snapshot.model) lastModel_ = snapshot.model;
    if (snapshot.composerDraft) cacheDraft(*snapshot.composerDraft);

    if (primed_ && snapshot.conversationKey == lastConversationKey_) {
        steadyState(snapshot, observedAt);
    } else {
        prime(snapshot, observedAt, fromNewChat);
    }
}

void TurnAssembler::prime(const SegmenterSnapshot& snapshot, TimePoint observedAt, bool fromNewChat) {
    if (snapshot.turns.empty()) return;
    primed_ = true;
    lastConversationKey_ = snapshot.conversationKey;
    emittedIndexes_.clear();
    for (const auto& t : snapshot.turns) emittedIndexes_.insert(t.index);
    liveSignatures_.clear();
    sentReplies_.clear();
    revisions_.clear();
    restreamedIndexes_.clear();
    unmarkedLive_.clear();
    pendingUserTurns_.clear();

    if (fromNewChat) {
        const auto sorted = byIndex(snapshot.turns);
        if (sorted.size() == 1 && isUser(*sorted[0])) {
            emittedIndexes_.erase(sorted[0]->index);
            pendingUserTurns_.insert_or_assign(sorted[0]->index, PendingTurn{*sorted[0], observedAt, std::nullopt});
        } else if (sorted.size() == 2 && freshSendAcceptsSettledPair_ && isUser(*sorted[0]) &&
                   isAssistant(*sorted[1])) {
            emittedIndexes_.erase(sorted[0]->index);
            emittedIndexes_.erase(sorted[1]->index);
            pendingUserTurns_.insert_or_assign(sorted[0]->index, PendingTurn{*sorted[0], observedAt, *sorted[1]});
        }
    }
    historyWatermark_ = emittedIndexes_.empty() ? 0 : *emittedIndexes_.rbegin();
    // What completed while the agent was down (or was captured but never
    // handed over) is not history: it goes out now.
    if (!fromNewChat && resumeAfterHandedExchange(snapshot)) steadyState(snapshot, observedAt);
}

std::string TurnAssembler::resumeSignature(std::string_view replyText) {
    return replyText.empty() ? std::string() : fnvHash(replyText);
}

bool TurnAssembler::resumeAfterHandedExchange(const SegmenterSnapshot& snapshot) {
    if (!resumeLookup_ || !snapshot.conversationKey) return false;
    const auto handed = resumeLookup_(surface_, *snapshot.conversationKey);
    if (!handed) return false;
    // The handed exchange must be on screen as it was sent: ordinals that
    // no longer match (another window of the conversation) keep the old rule.
    const auto at = std::find_if(snapshot.turns.begin(), snapshot.turns.end(),
                                 [&](const RawTurn& t) { return t.index == handed->ordinal; });
    if (at == snapshot.turns.end()) return false;
    if (!handed->signature.empty() && (!isAssistant(*at) || fnvHash(at->text) != handed->signature)) return false;
    if (historyWatermark_ <= handed->ordinal) return false;  // nothing after it
    emittedIndexes_.erase(emittedIndexes_.upper_bound(handed->ordinal), emittedIndexes_.end());
    historyWatermark_ = handed->ordinal;
    return true;
}

void TurnAssembler::steadyState(const SegmenterSnapshot& snapshot, TimePoint observedAt) {
    const auto turns = byIndex(snapshot.turns);
    if (turns.empty()) {
        tidyPending();
        return;
    }
    const int last = turns.back()->index;
    for (const RawTurn* t : turns) {
        if (t->index <= historyWatermark_) emittedIndexes_.insert(t->index);
    }

    // A reply that streams again, or a sent reply that vanished, may be a regeneration.
    if (!snapshot.responseComplete) {
        if (isAssistant(*turns.back()) && liveSignatures_.contains(last)) {
            restreamedIndexes_.insert(last);
            unmarkedLive_.erase(last);
        }
        const auto visible = [&turns](int index) {
            auto it = std::lower_bound(turns.begin(), turns.end(), index,
                                       [](const RawTurn* t, int i) { return t->index < i; });
            return it != turns.end() && (*it)->index == index;
        };
        // Sent replies already marked stay marked, so only the unmarked need a look.
        for (auto it = unmarkedLive_.begin(); it != unmarkedLive_.end();) {
            if (visible(*it)) {
                ++it;
                continue;
            }
            restreamedIndexes_.insert(*it);
            it = unmarkedLive_.erase(it);
        }
    }

    // Settled replies: complete, or followed by a later turn.
    for (const RawTurn* reply : turns) {
        if (!isAssistant(*reply) || (!snapshot.responseComplete && reply->index == last)) continue;
        bool restream = false;
        bool grown = false;
        if (emittedIndexes_.contains(reply->index)) {
            restream = reply->index == last && snapshot.responseComplete && liveSignatures_.contains(last) &&
                       restreamedIndexes_.contains(last);
            // A reply judged complete that went on after it was sent: its
            // whole text goes again, as the next revision of the same turn.
            grown = !restream && grewSinceSent(*reply);
            if (!restream && !grown) continue;
        }
        const RawTurn* prompt = nullptr;
        for (auto it = turns.rbegin(); it != turns.rend(); ++it) {
            if (isUser(**it) && (*it)->index < reply->index) {
                prompt = *it;
                break;
            }
        }
        std::string sig = signature(prompt, reply);
        if (restream && liveSignatures_[reply->index] == sig) {
            restreamedIndexes_.erase(reply->index);
            unmarkedLive_.insert(reply->index);
            continue;
        }
        emit(prompt, reply, snapshot, observedAt, restream || grown ? ++revisions_[reply->index] : 0);
        emittedIndexes_.insert(reply->index);
        liveSignatures_[reply->index] = std::move(sig);
        rememberSent(*reply);
        restreamedIndexes_.erase(reply->index);
        unmarkedLive_.insert(reply->index);
        if (prompt) emittedIndexes_.insert(prompt->index);
    }

    // A prompt followed by a later prompt will never get its reply.
    int lastUserIndex = 0;
    bool anyUser = false;
    for (const RawTurn* t : turns) {
        if (isUser(*t)) {
            lastUserIndex = anyUser ? std::max(lastUserIndex, t->index) : t->index;
            anyUser = true;
        }
    }
    for (const RawTurn* t : turns) {
        if (isUser(*t) && !emittedIndexes_.contains(t->index) && t->index < lastUserIndex) {
            emit(t, nullptr, snapshot, observedAt);
            emittedIndexes_.insert(t->index);
        }
    }

    // The rest wait for their reply; the first sighting's time is kept.
    for (auto at = turns.begin(); at != turns.end(); ++at) {
        const RawTurn* t = *at;
        if (!isUser(*t) || emittedIndexes_.contains(t->index)) continue;
        auto it = pendingUserTurns_.find(t->index);
        if (it != pendingUserTurns_.end()) {
            it->second.turn = *t;
        } else {
            it = pendingUserTurns_.emplace(t->index, PendingTurn{*t, observedAt, std::nullopt}).first;
        }
        const bool replyFollows = std::next(at) != turns.end() && isAssistant(**std::next(at));
        if (replyFollows && !(*std::next(at))->text.empty()) it->second.reply = **std::next(at);
    }
    tidyPending();
}

void TurnAssembler::tidyPending() {
    std::erase_if(pendingUserTurns_, [this](const auto& entry) { return emittedIndexes_.contains(entry.first); });
    while (pendingUserTurns_.size() > maxPending) pendingUserTurns_.erase(pendingUserTurns_.begin());
}

std::string TurnAssembler::signature(const RawTurn* prompt, const RawTurn* response) {
    std::string joined = prompt ? prompt->text : std::string();
    joined += '\x01';
    if (response) joined += response->text;
    return fnvHash(joined);
}

bool TurnAssembler::grewSinceSent(const RawTurn& reply) const {
    auto it = sentReplies_.find(reply.index);
    if (it == sentReplies_.end() || fnvHash(reply.text) == it->second.rawHash) return false;
    const std::string now = text::normalizeWhitespace(reply.text);
    const SentReply& sent = it->second;
    return now.size() > sent.normalizedBytes && fnvHash(std::string_view(now).substr(0, sent.normalizedBytes)) == sent.normalizedHash;
}

void TurnAssembler::rememberSent(const RawTurn& reply) {
    const std::string normalized = text::normalizeWhitespace(reply.text);
    sentReplies_[reply.index] = SentReply{fnvHash(reply.text), normalized.size(), fnvHash(normalized)};
}

void TurnAssembler::emit(const RawTurn* prompt, const RawTurn* response, const SegmenterSnapshot& snap,
                         TimePoint observedAt, int revision, bool replyConfirmed) {
    std::string promptText = prompt ? prompt->text : std::string();
    if (prompt && prompt->collapsed && !prompt->text.empty()) {
        // The interface shows a long prompt cut short; the draft typed before
        // sending holds all of it.
        std::string head = text::normalizeWhitespace(prompt->text);
        if (std::string_view(head).ends_with(kEllipsis)) head.resize(head.size() - kEllipsis.size());
        if (!head.empty()) {
            for (const auto& draft : recentDrafts_) {
                if (std::string_view(text::normalizeWhitespace(draft)).starts_with(head)) {
                    promptText = draft;
                    break;
                }
            }
        }
    }
    if (prompt) recentDrafts_.clear();
    std::string responseText = response ? response->text : std::string();

    TurnEvent e;
    e.surface = surface_;
    e.captureTier = !promptText.empty() ? 2 : !responseText.empty() ? 1 : 0;
    const bool whole = !promptText.empty() && !responseText.empty();
    e.verdict = whole && replyConfirmed ? "ok" : "degraded";
    const bool attachFacts =
        whole || (prompt && prompt->collapsed && prompt->text.empty() && !responseText.empty());
    if (attachFacts) {
        e.inProject = snap.inProject;
        if (response) e.producedArtifact = response->producedArtifact;
        if (e.producedArtifact == true) {
            e.artifactTitle = response->artifactTitle;
            e.artifactType = response->artifactType;
        }
    }
    const RawTurn* anchor = response ? response : prompt;
    e.turnIndex = anchor ? anchor->index : 0;
    e.turnTotal = anchor ? anchor->total : 0;
    e.prompt = std::move(promptText);
    e.response = std::move(responseText);
    e.model = snap.model;
    e.conversationKey = snap.conversationKey;
    e.observedAt = observedAt;
    e.revision = revision;
    if (prompt && response && !replyConfirmed) e.unconfirmedReplyAfter = prompt->index;
    if (onEvent_) onEvent_(e);
}

void TurnAssembler::cacheDraft(std::string_view draft) {
    const std::string normalized = text::normalizeWhitespace(draft);
    if (normalized.empty()) return;
    if (!recentDrafts_.empty()) {
        const std::string newest = text::normalizeWhitespace(recentDrafts_.front());
        // The user kept typing, or deleted a tail: same draft, newer text.
        if (normalized.starts_with(newest) || newest.starts_with(normalized)) {
            recentDrafts_.front() = std::string(draft);
            return;
        }
    }
    recentDrafts_.emplace_front(draft);
    while (recentDrafts_.size() > kMaxDrafts) recentDrafts_.pop_back();
}

void TurnAssembler::flushAbandoned() {
    if (pendingUserTurns_.empty()) return;
    SegmenterSnapshot snap;
    snap.conversationKey = lastConversationKey_;
    snap.model = lastModel_;
    snap.responseComplete = false;
    // Move out first: emit calls back into the owner, which may inspect us.
    auto pending = std::move(pendingUserTurns_);
    pendingUserTurns_.clear();
    // A reply read but never judged complete goes with its prompt as last
    // read, rather than being lost; its verdict says it was not confirmed.
    for (const auto& [index, entry] : pending) {
        emit(&entry.turn, entry.reply ? &*entry.reply : nullptr, snap, entry.seenAt, 0, false);
        emittedIndexes_.insert(index);
    }
    primed_ = false;
}

std::optional<TimePoint> TurnAssembler::pendingSince(int index) const {
    auto it = pendingUserTurns_.find(index);
    return it == pendingUserTurns_.end() ? std::nullopt : std::optional(it->second.seenAt);
}

std::vector<int> TurnAssembler::pendingIndexes() const {
    std::vector<int> out;
    for (const auto& [index, entry] : pendingUserTurns_) out.push_back(index);
    return out;
}

std::string TurnAssembler::debugState() const {
    std::vector<int> live;
    for (const auto& [index, sig] : liveSignatures_) live.push_back(index);
    return std::string("primed=") + (primed_ ? "true" : "false") + " wm=" + std::to_string(historyWatermark_) +
           " emitted=" + listOf(emittedIndexes_) + " pending=" + listOf(pendingIndexes()) + " live=" + listOf(live) +
           " restreamed=" + listOf(restreamedIndexes_);
}

}  // namespace velmar
