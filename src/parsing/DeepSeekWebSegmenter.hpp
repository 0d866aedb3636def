#pragma once

#include "parsing/BrowserSegmenter.hpp"
#include "parsing/DeepSeekTranscriptParser.hpp"

namespace velmar {

class DeepSeekWebSegmenter final : public BrowserSegmenter {
public:
    DeepSeekTranscriptParser parser;

    std::string surface() const override { return "deepseek"; }
    std::optional<SegmenterSnapshot> snapshot(const AXElement& webArea,
                                              const std::optional<std::string>& conversationKey) const override {
        return parseOnce(parser, webArea, conversationKey);
    }
};

}  // namespace velmar
