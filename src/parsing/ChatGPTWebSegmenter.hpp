#pragma once

#include "parsing/BrowserSegmenter.hpp"
#include "parsing/ChatGPTTranscriptParser.hpp"

namespace velmar {

class ChatGPTWebSegmenter final : public BrowserSegmenter {
public:
    ChatGPTTranscriptParser parser = ChatGPTTranscriptParser::web();

    std::string surface() const override { return "chatgpt"; }
    std::optional<SegmenterSnapshot> snapshot(const AXElement& webArea,
                                              const std::optional<std::string>& conversationKey) const override {
        return parseOnce(parser, webArea, conversationKey);
    }
};

}  // namespace velmar
