#pragma once
// Reads the Gemini side panel of Google Docs and Sheets (the panel root that
// WorkspaceGeminiPanel::locate finds) into turns.

#include "ax/AXNode.hpp"
#include "parsing/ParserAnchor.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class WorkspaceGeminiTranscriptParser {
public:
    // Absent while the panel shows its start state (no feed) or the feed has
    // no user or assistant entry.
    std::optional<SegmenterSnapshot> snapshot(const AXNode& scope, std::optional<std::string> conversationKey) const;

    // How the parser finds the turns, in the order it tries: the feed's
    // message wrappers, else (Chromium on Linux, which leaves those wrappers
    // out) the prompt headings and what follows each.
    static const ParserAnchors& anchors();

    // The prompt of a user entry: its heading's title, else the heading's
    // texts, else the entry's texts.
    static std::string userText(const AXNode& entry);
    // The text of the root (links and buttons below it left out),
    // skipping subtrees with a class that begins with `skippingPrefix` and
    // texts whose trimmed label equals `dropLabel`.
    static std::string staticText(const AXNode& root, std::optional<std::string_view> skippingPrefix,
                                               std::optional<std::string_view> dropLabel);
};

}  // namespace velmar
