#pragma once
// A browser tab on the Claude web app: the transcript parser on the web area.

#include "parsing/BrowserSegmenter.hpp"
#include "parsing/ClaudeTranscriptParser.hpp"

namespace velmar {

class ClaudeWebSegmenter final : public BrowserSegmenter {
public:
    ClaudeTranscriptParser parser;

    std::string surface() const override { return "claude_ai"; }
    std::optional<SegmenterSnapshot> snapshot(const AXElement& webArea,
                                              const std::optional<std::string>& conversationKey) const override {
        return parseOnce(parser, webArea, conversationKey);
    }
};

}  // namespace velmar
