#pragma once

#include "parsing/BrowserSegmenter.hpp"
#include "parsing/PerplexityTranscriptParser.hpp"

namespace velmar {

class PerplexityWebSegmenter final : public BrowserSegmenter {
public:
    PerplexityTranscriptParser parser;

    std::string surface() const override { return "perplexity"; }
    std::optional<SegmenterSnapshot> snapshot(const AXElement& webArea,
                                              const std::optional<std::string>& conversationKey) const override {
        return parseOnce(parser, webArea, conversationKey);
    }
};

}  // namespace velmar
