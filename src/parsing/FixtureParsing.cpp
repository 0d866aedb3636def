#include "parsing/FixtureParsing.hpp"

#include "parsing/ChatGPTDesktopSegmenter.hpp"
#include "parsing/ChatGPTTranscriptParser.hpp"

namespace velmar::FixtureParsing {

std::optional<SegmenterSnapshot> parse(std::string_view surface, const AXNode& root,
                                       const std::optional<std::string>& conversationKey) {
    if (surface == "chatgpt") return ChatGPTTranscriptParser::web().snapshot(root, conversationKey);
    if (surface == "chatgpt_desktop") {
        return ChatGPTDesktopSegmenter::snapshot(root, ChatGPTTranscriptParser::desktop());
    }
    return std::nullopt;
}

bool hasParser(std::string_view surface) { return surface == "chatgpt" || surface == "chatgpt_desktop"; }

bool keysItself(std::string_view surface) { return surface == "chatgpt_desktop"; }

}  // namespace velmar::FixtureParsing
