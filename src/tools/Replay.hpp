#pragma once
// velmar-replay: feeds a recorded sequence of snapshots through the capture
// pipeline exactly as the capture controllers route them, and prints every
// turn event as its turn message line. Reproduces a field report without the
// application that produced it.
//
// File (camelCase keys):
//   {"surface": "chatgpt", "steps": [
//     {"observedAt": "2026-01-02T03:04:05.678Z", "fromNewChat": false, "draft": "…",
//      "snapshot": {"conversationKey": "abc", "turns": [...], "responseComplete": true, ...}},
//     {"flush": true}]}
// Optional members default to absent or false.

#include "capture/TurnEvent.hpp"
#include "json/JsonDecoding.hpp"
#include "parsing/SegmenterSnapshot.hpp"
#include "platform/Clock.hpp"

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

class Replay {
public:
    struct Step {
        bool flush = false;  // flushAbandoned on every assembler, in order of first use
        TimePoint observedAt{};
        bool fromNewChat = false;
        std::optional<std::string> draft;
        SegmenterSnapshot snapshot;
    };

    struct Script {
        std::string surface;  // used when a snapshot names none
        std::vector<Step> steps;
    };

    // Strict: the first problem throws jsondecode::DecodeError naming its JSON path.
    static Script decode(const jsondecode::Json& document);
    static Script decodeText(std::string_view text);

    // Runs the steps; every event reaches `onEvent` in emission order.
    static void play(const Script& script, const std::function<void(const TurnEvent&)>& onEvent);

    // Whole tool: 0 on success; 2 on a usage error or an unreadable or
    // malformed file, with one line on `err` and nothing on `out`.
    static int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
    static int runFile(const std::string& path, std::ostream& out, std::ostream& err);
};

}  // namespace velmar
