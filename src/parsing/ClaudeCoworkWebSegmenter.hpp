#pragma once
// A browser tab on a Claude cowork page: same transcript, its own surface.

#include "parsing/BrowserSegmenter.hpp"
#include "parsing/ClaudeTranscriptParser.hpp"

namespace velmar {

class ClaudeCoworkWebSegmenter final : public BrowserSegmenter {
public:
    ClaudeTranscriptParser parser;

    std::string surface() const override { return "claude_cowork"; }
    std::optional<SegmenterSnapshot> snapshot(const AXElement& webArea,
                                              const std::optional<std::string>& conversationKey) const override {
        return parseOnce(parser, webArea, conversationKey);
    }
};

}  // namespace velmar
