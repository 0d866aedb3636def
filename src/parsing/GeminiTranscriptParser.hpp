#pragma once
// Reads a Gemini web conversation into turns. The page exposes its DOM
// classes, and the transcript is found almost entirely through them.

#include "ax/AXNode.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <optional>
#include <string>

namespace velmar {

class GeminiTranscriptParser {
public:
    // Absent when the page shows no transcript (start page, still loading) or
    // the transcript has no exchange with a recognisable half.
    std::optional<SegmenterSnapshot> snapshot(const AXNode& scope, std::optional<std::string> conversationKey) const;

    // The model named by the page's model picker, without a leading "currently".
    static std::optional<std::string> modelLabel(const AXNode& scope);
    // The same, given the picker area (null: no model).
    static std::optional<std::string> modelOfPicker(const AXNodePtr& picker);
    // The text leaves under a node (screen-reader-only headings left out), one per line.
    static std::string staticText(const AXNode& root);
};

}  // namespace velmar
