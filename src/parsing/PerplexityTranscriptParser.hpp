#pragma once
// Reads a Perplexity thread. The page marks no message roles, so the thread's
// flat list of blocks is run through a small state machine: query controls
// ("Edit query", "Copy query") announce a query, the next text block is the
// query, the blocks after it are the answer, and the answer's "Copy" button
// closes it. Where Chromium on Linux leaves the controls' class-only wrapper
// out, the query heading ('.group/query') announces the query instead; each
// way of finding the thread is a row of a table, tried in order.

#include "ax/AXNode.hpp"
#include "parsing/ParserAnchor.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velmar {

class PerplexityTranscriptParser {
public:
    // Absent when there is no main landmark, no thread or no turn.
    std::optional<SegmenterSnapshot> snapshot(const AXNode& scope, std::optional<std::string> conversationKey) const;

    struct Segmentation {
        std::vector<std::pair<std::string, std::string>> turns;  // (role, text)
        bool open = false;  // the last block leaves a query or an answer unfinished
    };
    // Runs the state machine over the thread container's direct children.
    static Segmentation segment(const AXNode& container);

    // What the page must hold for turns: a thread, a query and an answer in
    // it, each passing exactly where the table of rows reads.
    static const ParserAnchors& anchors();

    static AXNodePtr findLandmarkMain(const AXNode& scope);
    // The node whose direct children include query controls (the first row).
    static AXNodePtr findContainer(const AXNode& landmark);
    static bool isQueryControls(const AXNode& node);
    static bool isCitationChip(const AXNode& node);
    // A block's text outside controls, links and citation chips.
    static std::string bareStaticText(const AXNode& block);
    // A short "Stop…" button outside the thread.
    static AXNodePtr findStopButton(const AXNode& scope);
};

}  // namespace velmar
