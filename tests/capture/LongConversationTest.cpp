// A 60-turn conversation seen through a virtualised window of 4 to 8 turns that
// the user scrolls while sending prompts and reading replies, on every
// position-indexed surface: each pair completed while the window follows the
// newest turn is sent exactly once, with its prompt, reply and ordinal, and
// scrolling through history sends nothing. Where the rules cannot keep the
// ordinals, a pair is still never sent twice.
#include "capture/ConversationRouter.hpp"
#include "capture/VirtualWindow.hpp"
#include "capture/CaptureDiag.hpp"
#include "surfaces/SurfaceTraits.hpp"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

namespace velmar {
namespace {

using namespace std::chrono_literals;

enum class Scroll {
    none,            // the window always follows the newest turn
    nearHistory,     // between exchanges, up a few turns and back
    toTheTop,        // between exchanges, as far up as allowed and back
    whileStreaming,  // up 3 turns while a reply streams, back before it ends
    tailOnly,        // a long reply fills the window: only its tail is in view while it streams
    quickReply,      // the reply is finished before the first read after sending
};
struct Pattern {
    const char* name;
    int historyTurns;        // turns that exist before capture starts
    Scroll scroll;
    bool aboveCaptureStart;  // scrolling may go above the first window read
};

const Pattern kPatterns[] = {
    {"follow, from the start", 2, Scroll::none, true},
    {"follow, mid-conversation", 20, Scroll::none, true},
    {"near history between exchanges, from the start", 2, Scroll::nearHistory, true},
    {"to the top between exchanges, from the start", 2, Scroll::toTheTop, true},
    {"up while streaming, from the start", 2, Scroll::whileStreaming, true},
    {"reply tail only, from the start", 2, Scroll::tailOnly, true},
    {"reply tail only, mid-conversation", 20, Scroll::tailOnly, true},
    {"near history, mid-conversation, not above capture start", 20, Scroll::nearHistory, false},
    {"to capture start and back, mid-conversation", 20, Scroll::toTheTop, false},
    {"up while streaming, mid-conversation, not above capture start", 20, Scroll::whileStreaming, false},
    {"quick reply, from the start", 2, Scroll::quickReply, true},
    {"quick reply, mid-conversation", 20, Scroll::quickReply, true},
    {"near history, mid-conversation, above capture start", 20, Scroll::nearHistory, true},
    {"to the top, mid-conversation", 20, Scroll::toTheTop, true},
    {"up while streaming, mid-conversation, above capture start", 20, Scroll::whileStreaming, true},
};

// Whether the stabilizer's rules can keep the ordinals; runs where they cannot
// are checked for resends only.
bool keepsOrdinals(const Pattern& p, std::string_view surface) {
    // A window above the first one read holds no known prompt and not the last
    // settled reply: the stabilizer resets, and ordinals restart from that window.
    const bool scrollsFar = p.scroll == Scroll::nearHistory || p.scroll == Scroll::toTheTop;
    if (p.historyTurns > 8 && p.aboveCaptureStart && scrollsFar) return false;
    // A prompt first seen with its reply finished is taken for history there.
    return p.scroll != Scroll::quickReply || !ConversationRouter::settledMountsAreHistory(surface);
}

// Plays a pattern; what is sent and what is expected, keyed by true reply ordinal, as "prompt -> reply".
class Driver {
public:
    using Pairs = std::map<int, std::vector<std::string>>;
    Pairs sent, expected;
    std::vector<std::string> sentInOrder;  // "prompt -> reply", whatever the ordinal

    Driver(std::string surface, std::uint32_t seed, const Pattern& p, CaptureDiag* diag = nullptr)
        : surface_(std::move(surface)), rng_(seed), router_(onEvent(), diag) {
        while (conv_.size() < p.historyTurns) conv_.addSettledPair();
        const int firstWindow = windowSize();
        offset_ = std::max(0, conv_.size() - firstWindow);
        highestTop_ = p.aboveCaptureStart ? 1 : offset_ + 1;
        read(conv_.bottom(firstWindow));
        const bool quick = p.scroll == Scroll::quickReply, tail = p.scroll == Scroll::tailOnly;
        while (conv_.size() < 60) {
            conv_.sendPrompt();
            if (!quick) readBottom();
            conv_.streamReply(0.3);
            if (!quick) readBottom();
            if (p.scroll == Scroll::whileStreaming) scrollUpAndBack(3);
            conv_.streamReply(0.7);
            if (tail) read(conv_.bottom(1));
            else if (!quick) readBottom();
            conv_.finishReply();
            if (tail) read(conv_.bottom(1));
            readBottom();
            const auto& turns = conv_.turns();
            expected[conv_.size()] = {turns[turns.size() - 2].text + " -> " + turns.back().text};
            if (p.scroll == Scroll::nearHistory) scrollUpAndBack(6);
            if (p.scroll == Scroll::toTheTop) scrollUpAndBack(conv_.size());
        }
    }

private:
    int windowSize() { return std::uniform_int_distribution<int>(4, 8)(rng_); }
    void read(const SegmenterSnapshot& s) { router_.route("conv", surface_, s, now_ += 1s, false); }
    void readBottom() { read(conv_.bottom(windowSize())); }
    // Up in steps of 1 to 3 turns until the bottom edge is `depth` turns above
    // the newest turn, then back down the same way; never above the highest allowed turn.
    void scrollUpAndBack(int depth) {
        std::vector<int> bottoms;
        for (int up = 0; up < depth;) {
            up = std::min(depth, up + std::uniform_int_distribution<int>(1, 3)(rng_));
            bottoms.push_back(std::max(1, conv_.size() - up));
        }
        auto readEndingAt = [&](int last) {
            const int size = windowSize();
            read(conv_.window(std::max(highestTop_, last - size + 1), size));
        };
        for (int b : bottoms) readEndingAt(b);
        for (auto it = bottoms.rbegin(); it != bottoms.rend(); ++it) readEndingAt(*it);
        readBottom();
    }

    std::string surface_;
    std::mt19937 rng_;
    testing::VirtualConversation conv_{"conv"};
    int offset_ = 0;      // true ordinal of the turn above the first window read
    int highestTop_ = 1;  // scrolling stops here
    TimePoint now_{};
    ConversationRouter router_;

    TurnAssembler::EventHandler onEvent() {
        return [this](const TurnEvent& e) {
            sent[e.turnIndex + offset_].push_back(e.prompt + " -> " + e.response);
            sentInOrder.push_back(e.prompt + " -> " + e.response);
        };
    }
};

// On every position-indexed surface, in every pattern: no pair is ever sent
// twice, however far the user scrolls; where the rules can keep the ordinals,
// exactly the followed pairs are sent, each with its own.
TEST(LongConversation, EachFollowedPairSentOnceAndHistoryNever) {
    for (const auto& row : SurfaceTraits::all()) {
        if (!row.positionIndexed) continue;
        CaptureDiag diag{TimePoint{}};
        for (const auto& pattern : kPatterns) {
            for (std::uint32_t seed = 1; seed <= 10; ++seed) {
                SCOPED_TRACE(std::string(row.key) + ", " + pattern.name + ", seed " + std::to_string(seed));
                Driver driver(std::string(row.key), seed, pattern, &diag);
                std::set<std::string> seen;
                for (const auto& pair : driver.sentInOrder) {
                    EXPECT_TRUE(seen.insert(pair).second) << "sent twice: " << pair;
                }
                if (!keepsOrdinals(pattern, row.key)) continue;
                EXPECT_GE(driver.expected.size(), 20u);
                EXPECT_EQ(driver.sent, driver.expected);
            }
        }
        EXPECT_GT(diag.count(row.key, CaptureDiag::Counter::duplicateSuppressed), 0)
            << row.key << ": scrolling above capture start would have re-sent history";
    }
}

}  // namespace
}  // namespace velmar
