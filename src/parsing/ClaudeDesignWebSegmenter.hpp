#pragma once
// A browser tab on a Claude Design page: the design reader on the web area.

#include "parsing/BrowserSegmenter.hpp"
#include "parsing/ClaudeDesignTranscriptParser.hpp"

namespace velmar {

class ClaudeDesignWebSegmenter final : public BrowserSegmenter {
public:
    ClaudeDesignTranscriptParser parser;

    std::string surface() const override { return "claude_design"; }
    std::optional<SegmenterSnapshot> snapshot(const AXElement& webArea,
                                              const std::optional<std::string>& conversationKey) const override {
        return parseOnce(parser, webArea, conversationKey);
    }
};

}  // namespace velmar
