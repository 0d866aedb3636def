#pragma once
// The per-conversation half of a capture controller: routes each snapshot of a
// conversation through its ordinal stabilizer (position-indexed surfaces only)
// into its turn assembler, and owns those per-conversation objects: created
// on first use, at most `maxConversations` kept (least recently used evicted,
// flushed first), flushed when idle, flushed and dropped at stop.
//
// Controllers and the replay tool share it, so a recorded snapshot sequence
// goes through exactly what live capture does. Keys are whatever identifies a
// conversation for the owner (the conversation key, or "surface:key").
//
// Events leave synchronously through the handler given at construction; the
// handler must not call back into the router.
//
// Nothing is sent twice: each conversation remembers the signatures of the
// last `maxSentSignatures` pairs it sent, across stabilizer resets (a reset
// restarts the assembler on an older window, whose pairs would otherwise go
// out again), and an event whose prompt and reply were both sent before in
// that conversation is dropped and counted as "duplicate_suppressed". The
// memory ends with the conversation: evicted, flushed as idle, or stopped.

#include "capture/DesignPromptEmitter.hpp"
#include "capture/OrdinalStabilizer.hpp"
#include "capture/ReplyCompletion.hpp"
#include "capture/TurnAssembler.hpp"
#include "parsing/SegmenterSnapshot.hpp"
#include "platform/Clock.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmar {

class CaptureDiag;

class ConversationRouter {
public:
    using ReadAgainHandler = std::function<void(const ReplyCompletion::ReadAgain&)>;
    static constexpr std::size_t defaultMaxConversations = 20;
    static constexpr std::size_t maxSentSignatures = 2000;

    // What happened to one snapshot, for the owner's diagnostics and debug lines.
    struct Result {
        enum class Route {
            assembler,  // the stabilizer (where used) and the conversation's assembler
            design,     // Claude Design conversations: their own prompt emitter
        };
        Route route = Route::assembler;
        bool stabilizerReset = false;  // count "stabilizer_reset"
        bool stabilizerSkip = false;   // count "stabilizer_skip"
        bool processed = false;        // the snapshot reached the assembler (or emitter)
        bool newAssembler = false;     // the assembler was created for this snapshot
        bool draftConsumed = false;    // the draft went to the assembler; the owner drops its copy
        // Position-indexed surfaces: the renumbered snapshot that was processed.
        std::optional<SegmenterSnapshot> stabilized;
    };

    // `diag` (may be null: nothing is counted) must outlive the router.
    explicit ConversationRouter(TurnAssembler::EventHandler onEvent, CaptureDiag* diag = nullptr,
                                std::size_t maxConversations = defaultMaxConversations);
    ~ConversationRouter();
    ConversationRouter(const ConversationRouter&) = delete;
    ConversationRouter& operator=(const ConversationRouter&) = delete;

    // Feeds one keyed snapshot. `draft` is composer text saved from a new-chat
    // view; it is handed to the assembler before processing, and only when
    // `fromNewChat` is true and the snapshot gets that far.
    Result route(const std::string& key, const std::string& surface, const SegmenterSnapshot& snapshot,
                 TimePoint observedAt, bool fromNewChat, const std::optional<std::string>& draft = std::nullopt);

    // Old answered prompts that scroll into view on these surfaces look like
    // new ones; their stabilizers treat them as history.
    static bool settledMountsAreHistory(std::string_view surface);

    // Given to every assembler from now on (see TurnAssembler::setResumeLookup).
    void setResumeLookup(TurnAssembler::ResumeLookup lookup) { resumeLookup_ = std::move(lookup); }

    // flushAbandoned() on every assembler, in order of first use; all are kept.
    void flushEach();
    // Flushes and forgets every conversation whose assembler has been idle for
    // at least `grace` at `now`; returns their keys in order of first use.
    // Design emitters idle for more than `grace` are dropped too (they hold
    // nothing to flush) and are not among the keys returned.
    std::vector<std::string> flushIdle(TimePoint now, std::chrono::duration<double> grace);
    // Flushes every assembler, in order of first use, then forgets everything.
    void stop();

    const TurnAssembler* assembler(const std::string& key) const;
    // Decides whether the read's last reply is complete (ReplyCompletion):
    // sets `read.responseComplete` to the verdict and, when a later read
    // could decide, asks `readAgain` for one. Call before `route`.
    void judgeCompletion(const std::string& key, SegmenterSnapshot& read, TimePoint now,
                         const std::function<bool()>& stopShown, std::optional<TimePoint> lastNotified,
                         const ReadAgainHandler& readAgain);
    const ReplyCompletion& completion() const { return completion_; }
    const OrdinalStabilizer* stabilizer(const std::string& key) const;
    const DesignPromptEmitter* designEmitter(const std::string& key) const;
    std::size_t designEmitterCount() const { return designEmitters_.size(); }
    // Keys with an assembler, least recently used first.
    const std::deque<std::string>& lru() const { return lru_; }
    std::size_t maxConversations() const { return maxConversations_; }

private:
    // Signatures of the pairs one conversation sent, oldest first.
    struct SentPairs {
        std::set<std::pair<std::string, std::string>> signatures;
        std::deque<std::pair<std::string, std::string>> order;
        // False when the pair was sent before; otherwise remembers it.
        bool admit(const TurnEvent& event);
    };

    struct Conversation {
        std::shared_ptr<SentPairs> sent = std::make_shared<SentPairs>();
        std::unique_ptr<TurnAssembler> assembler;
        std::unique_ptr<OrdinalStabilizer> stabilizer;
        std::uint64_t firstUse = 0;  // when the current assembler was created
    };

    struct DesignEntry {
        std::unique_ptr<DesignPromptEmitter> emitter;
        std::uint64_t created = 0;  // ties on the last-processed time go to the earliest created
    };

    Result routeDesign(const std::string& key, const SegmenterSnapshot& snapshot, TimePoint observedAt,
                       bool fromNewChat);
    DesignPromptEmitter& designEmitterFor(const std::string& key);
    TurnAssembler::EventHandler dedupedHandler(const std::shared_ptr<SentPairs>& sent) const;
    TurnAssembler& assemblerFor(const std::string& key, const std::string& surface, bool& created);
    void dropAssembler(const std::string& key, bool flush);
    void removeFromLru(const std::string& key);
    void evictIfNeeded();
    std::vector<std::string> keysByFirstUse() const;

    const TurnAssembler::EventHandler onEvent_;
    CaptureDiag* const diag_;
    const std::size_t maxConversations_;
    std::unordered_map<std::string, Conversation> conversations_;
    std::deque<std::string> lru_;
    std::uint64_t uses_ = 0;
    std::unordered_map<std::string, DesignEntry> designEmitters_;
    std::uint64_t designCreated_ = 0;
    TurnAssembler::ResumeLookup resumeLookup_;
    ReplyCompletion completion_;
};

}  // namespace velmar
