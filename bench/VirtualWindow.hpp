#pragma once
// A long conversation shown through a virtualised transcript: only a window of
// a few turns exists at a time, numbered by position from its top, the way
// position-indexed parsers see it. The pipeline benchmark scripts the user:
// send a prompt, stream a reply, scroll up and down.

#include "parsing/SegmenterSnapshot.hpp"

#include <algorithm>
#include <string>
#include <vector>

namespace velmar::testing {

class VirtualConversation {
public:
    struct Turn {
        std::string role;
        std::string text;
    };

    explicit VirtualConversation(std::string key) : key_(std::move(key)) {}

    // Appends a finished exchange (history that exists before capture starts).
    void addSettledPair() {
        sendPrompt();
        turns_.push_back({"assistant", replyText(size() + 1)});
    }
    void sendPrompt() { turns_.push_back({"user", "Prompt at ordinal " + std::to_string(size() + 1) + "?"}); }
    // The reply appears and grows; `fraction` of its final text is shown.
    void streamReply(double fraction) {
        if (!streaming_) turns_.push_back({"assistant", ""});
        streaming_ = true;
        const std::string full = replyText(size());
        turns_.back().text = full.substr(0, std::max<std::size_t>(1, static_cast<std::size_t>(full.size() * fraction)));
    }
    void finishReply() {
        turns_.back().text = replyText(size());
        streaming_ = false;
    }

    int size() const { return static_cast<int>(turns_.size()); }
    const std::vector<Turn>& turns() const { return turns_; }

    // The window whose first turn has true ordinal `first` (1-based), `count` turns long.
    SegmenterSnapshot window(int first, int count) const {
        SegmenterSnapshot s;
        s.conversationKey = key_;
        s.responseComplete = !streaming_;
        first = std::clamp(first, 1, std::max(1, size()));
        const int last = std::min(size(), first + count - 1);
        for (int i = first; i <= last; ++i) {
            RawTurn t;
            t.index = i - first + 1;
            t.total = last - first + 1;
            t.role = turns_[i - 1].role;
            t.text = turns_[i - 1].text;
            s.turns.push_back(std::move(t));
        }
        return s;
    }
    // The window that follows the newest turn.
    SegmenterSnapshot bottom(int count) const { return window(size() - count + 1, count); }

private:
    // Distinct texts by true ordinal, so every turn has its own signature.
    static std::string replyText(int ordinal) {
        return "Reply at ordinal " + std::to_string(ordinal) + ", fully written out.";
    }

    std::string key_;
    std::vector<Turn> turns_;
    bool streaming_ = false;
};

}  // namespace velmar::testing
