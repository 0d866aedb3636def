#pragma once
// Claude Design captures what the user asked for, not the replies: each new
// prompt of one design conversation becomes exactly one turn event with an
// empty response, and a prompt already seen is never sent again. One emitter
// per design conversation, owned by the capture controller.

#include "capture/TurnEvent.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class DesignPromptEmitter {
public:
    using EventHandler = std::function<void(const TurnEvent&)>;

    explicit DesignPromptEmitter(EventHandler onEvent, std::string surface = "claude_design");

    // `fromNewChat`: the conversation was opened from a new-chat view, so its
    // first prompts are new and are sent at once instead of only being noted.
    void process(const SegmenterSnapshot& snapshot, TimePoint observedAt, bool fromNewChat);

    // "primed=true seen=3", for capture-debug lines.
    std::string debugState() const;

    const std::string& surface() const { return surface_; }
    bool primed() const { return primed_; }
    const std::set<std::string>& seenHashes() const { return seenHashes_; }
    // The controller evicts the emitter least recently processed.
    std::optional<TimePoint> lastProcessedAt() const { return lastProcessedAt_; }

    // Tool-progress lines the design chat shows; a text starting with one is never a prompt.
    static const std::vector<std::string_view>& noisePrefixes();
    static bool containsNoiseLine(std::string_view text);
    // Whether a user turn's text is something the user wrote.
    static bool isPrompt(std::string_view text, bool parityFallback);

private:
    std::string surface_;
    EventHandler onEvent_;
    bool primed_ = false;
    std::set<std::string> seenHashes_;
    std::optional<TimePoint> lastProcessedAt_;
};

}  // namespace velmar
