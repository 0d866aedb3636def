#pragma once
// Turns the stream of snapshots of one conversation into turn events: one per
// user prompt with the reply that answers it, sent once the reply has settled.
// History on screen when capture begins is not re-sent; a prompt whose reply
// never comes is still sent; a regenerated reply is sent again; a prompt shown
// collapsed is recovered from the composer drafts typed before sending.
//
// One instance per conversation; indexes are conversation ordinals (on
// position-indexed surfaces the snapshots pass the ordinal stabilizer first).

#include "capture/TurnEvent.hpp"
#include "parsing/RawTurn.hpp"
#include "parsing/SegmenterSnapshot.hpp"
#include "platform/Clock.hpp"

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class TurnAssembler {
public:
    using EventHandler = std::function<void(const TurnEvent&)>;
    // The last exchange of a conversation handed over before the agent
    // restarted: its ordinal and `resumeSignature` of its reply.
    struct HandedExchange {
        int ordinal = 0;
        std::string signature;
    };
    using ResumeLookup =
        std::function<std::optional<HandedExchange>(const std::string& surface, const std::string& conversationKey)>;

    static constexpr std::size_t maxPending = 8;

    // Without `freshSendAcceptsSettledPair`, the surface's default applies.
    TurnAssembler(std::string surface, EventHandler onEvent,
                  std::optional<bool> freshSendAcceptsSettledPair = std::nullopt);

    // `fromNewChat`: the controller saw this conversation come into being in a
    // new-chat view, so what it shows first is a live exchange, not history.
    void process(const SegmenterSnapshot& snapshot, TimePoint observedAt, bool fromNewChat);
    // Composer text typed before sending, newest last; keeps up to 2.
    void cacheDraft(std::string_view draft);
    // Sends every pending prompt without a reply and un-primes.
    void flushAbandoned();
    // Where the first snapshot of a conversation that was handed over before
    // ends its history: exchanges after the remembered one (seen at its
    // ordinal with the same reply) are sent; without one, all is history.
    void setResumeLookup(ResumeLookup lookup) { resumeLookup_ = std::move(lookup); }
    // What identifies a handed-over reply to `setResumeLookup`; empty for an
    // exchange without a reply (its ordinal alone is checked).
    static std::string resumeSignature(std::string_view replyText);

    // "primed=true wm=6 emitted=[1, 2] pending=[7] live=[8] restreamed=[]"
    std::string debugState() const;

    const std::string& surface() const { return surface_; }
    bool freshSendAcceptsSettledPair() const { return freshSendAcceptsSettledPair_; }
    bool primed() const { return primed_; }
    int historyWatermark() const { return historyWatermark_; }
    const std::optional<TimePoint>& lastProcessedAt() const { return lastProcessedAt_; }
    const std::deque<std::string>& recentDrafts() const { return recentDrafts_; }
    // When the pending prompt at `index` was first seen; absent when none is pending there.
    std::optional<TimePoint> pendingSince(int index) const;
    std::vector<int> pendingIndexes() const;

private:
    struct PendingTurn {
        RawTurn turn;
        TimePoint seenAt;
        // The reply under it as last read, not yet judged complete: what a
        // flush sends when the page goes away before the reply settles.
        std::optional<RawTurn> reply;
    };

    void prime(const SegmenterSnapshot& snapshot, TimePoint observedAt, bool fromNewChat);
    bool resumeAfterHandedExchange(const SegmenterSnapshot& snapshot);
    void steadyState(const SegmenterSnapshot& snapshot, TimePoint observedAt);
    void tidyPending();
    // `replyConfirmed` false: the reply is as last read, never judged complete.
    void emit(const RawTurn* prompt, const RawTurn* response, const SegmenterSnapshot& snap, TimePoint observedAt,
              int revision = 0, bool replyConfirmed = true);
    // True when the sent reply at this index now reads as what was sent with
    // more after it: it went on after it was judged complete.
    bool grewSinceSent(const RawTurn& reply) const;
    void rememberSent(const RawTurn& reply);
    static std::string signature(const RawTurn* prompt, const RawTurn* response);

    const std::string surface_;
    const EventHandler onEvent_;
    const bool freshSendAcceptsSettledPair_;
    bool primed_ = false;
    std::optional<std::string> lastConversationKey_;
    std::set<int> emittedIndexes_;
    int historyWatermark_ = 0;
    std::map<int, std::string> liveSignatures_;
    std::set<int> restreamedIndexes_;
    // The indexes of liveSignatures_ not in restreamedIndexes_: the only ones
    // a snapshot can newly mark, so that its regeneration watch costs what
    // changed since the last watch rather than every reply ever sent.
    std::set<int> unmarkedLive_;
    // What each sent reply held, to tell a reply that went on growing.
    struct SentReply {
        std::string rawHash;          // of the text as sent
        std::size_t normalizedBytes;  // of its whitespace-normalised form
        std::string normalizedHash;
    };
    std::map<int, SentReply> sentReplies_;
    // Re-sends so far per reply index.
    std::map<int, int> revisions_;
    std::map<int, PendingTurn> pendingUserTurns_;
    std::optional<std::string> lastModel_;
    std::deque<std::string> recentDrafts_;  // newest first
    std::optional<TimePoint> lastProcessedAt_;
    ResumeLookup resumeLookup_;
};

}  // namespace velmar
