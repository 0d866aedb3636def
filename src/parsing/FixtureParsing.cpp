#include "parsing/FixtureParsing.hpp"

#include "parsing/ChatGPTDesktopSegmenter.hpp"
#include "parsing/ChatGPTTranscriptParser.hpp"
#include "parsing/ClaudeCodeTranscriptParser.hpp"
#include "parsing/ClaudeDesignTranscriptParser.hpp"
#include "parsing/ClaudeTranscriptParser.hpp"
#include "parsing/DeepSeekTranscriptParser.hpp"
#include "parsing/GeminiTranscriptParser.hpp"
#include "parsing/PerplexityTranscriptParser.hpp"
#include "parsing/WorkspaceGeminiTranscriptParser.hpp"

namespace velmar::FixtureParsing {

std::optional<SegmenterSnapshot> parse(std::string_view surface, const AXNode& root,
                                       const std::optional<std::string>& conversationKey) {
    if (surface == "chatgpt") return ChatGPTTranscriptParser::web().snapshot(root, conversationKey);
    if (surface == "chatgpt_desktop") {
        return ChatGPTDesktopSegmenter::snapshot(root, ChatGPTTranscriptParser::desktop());
    }
    if (surface == "claude_desktop" || surface == "claude_ai" || surface == "claude_cowork") {
        // A recording keeps no address below a browser root, so a desktop
        // window is read as a transcript, without the desktop app's dispatch.
        // Offline, a pasted body never comes from this machine's clipboard:
        // the parser is given no paste resolver.
        return ClaudeTranscriptParser{}.snapshot(root, conversationKey);
    }
    if (surface == "claude_design") return ClaudeDesignTranscriptParser{}.snapshot(root, conversationKey);
    if (surface == "claude_code_desktop") return ClaudeCodeTranscriptParser{}.snapshot(root, conversationKey);
    if (surface == "gemini") return GeminiTranscriptParser{}.snapshot(root, conversationKey);
    if (surface == "perplexity") return PerplexityTranscriptParser{}.snapshot(root, conversationKey);
    if (surface == "deepseek") return DeepSeekTranscriptParser{}.snapshot(root, conversationKey);
    if (surface == "gemini_docs" || surface == "gemini_sheets") {
        return WorkspaceGeminiTranscriptParser{}.snapshot(root, conversationKey);
    }
    return std::nullopt;
}

bool hasParser(std::string_view surface) {
    return surface == "chatgpt" || surface == "chatgpt_desktop" || surface == "claude_code_desktop" ||
           surface == "claude_desktop" || surface == "claude_ai" || surface == "claude_cowork" ||
           surface == "claude_design" ||
           surface == "gemini" || surface == "perplexity" || surface == "deepseek" || surface == "gemini_docs" ||
           surface == "gemini_sheets";
}

bool keysItself(std::string_view surface) { return surface == "chatgpt_desktop"; }

}  // namespace velmar::FixtureParsing
