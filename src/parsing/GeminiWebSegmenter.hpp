#pragma once

#include "parsing/BrowserSegmenter.hpp"
#include "parsing/GeminiTranscriptParser.hpp"

namespace velmar {

class GeminiWebSegmenter final : public BrowserSegmenter {
public:
    GeminiTranscriptParser parser;

    std::string surface() const override { return "gemini"; }
    std::optional<SegmenterSnapshot> snapshot(const AXElement& webArea,
                                              const std::optional<std::string>& conversationKey) const override {
        return parseOnce(parser, webArea, conversationKey);
    }
};

}  // namespace velmar
