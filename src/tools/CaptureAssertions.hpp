#pragma once
// capture-check's judgements: the verdict of one entry from its live parse and
// probes, the outcome of a send, the summary against the previous run, the
// result line, and the report file.

#include "json/JsonDecoding.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

struct CaptureAssertions {
    struct ProbeResult {
        std::string name;
        bool ok = false;
    };
    struct ParseSummary {
        int turns = 0;
        std::vector<std::string> roles;
        int unknownRoles = 0;
        bool modelPresent = false;
        bool responseComplete = false;
        bool usedParityFallback = false;
    };
    struct TextCheck {
        bool sentinelUserTurn = false;
        int assistantChars = 0;  // characters of the newest assistant turn
        bool modelPresent = false;
        bool modelExpected = false;
    };
    struct SendResult {
        bool ok = false;
        std::optional<std::string> reason;
        int turnsBefore = 0;
        int turnsAfter = 0;
        long long waitedMs = 0;
    };
    struct EntryResult {
        std::string id, surface, browser;
        std::string status = "SKIP";  // "PASS", "FAIL" or "SKIP"
        std::optional<std::string> reason, note, conversationKey;
        std::optional<long long> openMs;
        std::optional<std::string> window;
        std::vector<ProbeResult> probes;
        std::optional<ParseSummary> parse;
        std::optional<TextCheck> textCheck;
        std::optional<SendResult> send;
        std::optional<std::string> cleanup;
    };
    struct Summary {
        int pass = 0, fail = 0, skip = 0;
        std::map<std::string, std::string> firstFailingProbe;
        std::vector<std::string> newlyFailing, newlyPassing;
        std::optional<std::string> previousRunAt;
    };
    // What a previous report says, as far as the comparison needs it.
    struct PreviousRun {
        std::optional<std::string> ranAt;
        std::map<std::string, std::string> statusById;
    };
    struct Report {
        int schema = 1;
        std::string ranAt;
        std::string agentVersion;
        std::optional<std::vector<std::string>> surfaces, browsers;
        bool send = false;
        std::vector<EntryResult> entries;
        Summary summary;
    };

    static ParseSummary summarize(const SegmenterSnapshot& snapshot);
    static TextCheck checkText(const SegmenterSnapshot& snapshot, const std::string& sentinel, bool modelExpected);

    // Fills status, reason, parse and textCheck of a conversation entry from
    // its live parse and probes; the first failing reason wins.
    static void judge(EntryResult& entry, const std::optional<SegmenterSnapshot>& snapshot,
                      const std::vector<ProbeResult>& probes, const std::string& sentinel, bool modelExpected);
    // Compares the snapshots before and after a send.
    static SendResult judgeSend(const std::optional<SegmenterSnapshot>& before,
                                const std::optional<SegmenterSnapshot>& after, const std::string& sentinel,
                                long long waitedMs);

    static Summary summarize(const std::vector<EntryResult>& entries, const std::optional<PreviousRun>& previous);
    static std::string resultLine(const Summary& summary);

    static jsondecode::Json toJSON(const Report& report);
    // Lenient: a report of another version still gives what it can.
    static PreviousRun previousRun(const jsondecode::Json& report);
};

}  // namespace velmar
