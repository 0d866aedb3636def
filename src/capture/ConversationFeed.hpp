#pragma once
// The intake both capture controllers share for one keyed read of a
// conversation: count what the parse showed, judge whether its last reply is
// complete, decide whether the read continues a new-chat view (handing over
// the draft typed there), route it, and count what the router did.
//
// New-chat marks and drafts are kept per slot: the surface of a browser tab,
// the one window of a native application.

#include "capture/ConversationRouter.hpp"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace velmar {

class CaptureDiag;

class ConversationFeed {
public:
    // When a new-chat mark taken by a read is cleared.
    enum class MarkPolicy {
        // A native window: as soon as a read with turns takes it.
        clearedWhenTaken,
        // Browser tabs: once the read reached the assembler (the stabilizer
        // may still skip it); a Claude Design read takes the mark whatever
        // it shows.
        clearedWhenProcessed,
    };

    struct Read {
        std::string key;  // the router's key
        std::string surface;
        std::string slot;  // whose new-chat mark and draft apply
        bool takesNewChat = true;  // false for a background tab
        // Null: the read's reply is not judged for completion.
        std::function<bool()> stopShown;
        // The owner's latest notification of a change (ReplyCompletion).
        std::optional<TimePoint> lastNotified;
    };
    struct Outcome {
        ConversationRouter::Result routed;
        bool fromNewChat = false;
    };

    // `diag` must outlive the feed; `readAgain` asks the owner for a later read.
    ConversationFeed(TurnAssembler::EventHandler onEvent, CaptureDiag& diag, MarkPolicy policy,
                     ConversationRouter::ReadAgainHandler readAgain);

    Outcome ingest(const Read& read, SegmenterSnapshot& snapshot, TimePoint now);

    // A view without a conversation: what follows in this slot may be a new chat.
    void markNewChat(const std::string& slot) { newChat_.insert(slot); }
    void keepDraft(const std::string& slot, std::string draft) { drafts_[slot] = std::move(draft); }

    const std::set<std::string>& newChatSlots() const { return newChat_; }
    const std::map<std::string, std::string>& drafts() const { return drafts_; }
    ConversationRouter& router() { return router_; }
    const ConversationRouter& router() const { return router_; }
    CaptureDiag& diag() const { return diag_; }

private:
    void countParsed(const std::string& surface, const SegmenterSnapshot& snapshot);

    CaptureDiag& diag_;
    const MarkPolicy policy_;
    const ConversationRouter::ReadAgainHandler readAgain_;
    ConversationRouter router_;
    std::set<std::string> newChat_;
    std::map<std::string, std::string> drafts_;
};

}  // namespace velmar
