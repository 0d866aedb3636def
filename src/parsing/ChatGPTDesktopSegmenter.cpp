#include "parsing/ChatGPTDesktopSegmenter.hpp"

#include "ax/AXReadScope.hpp"
#include "parsing/FnvHash.hpp"
#include "text/Unicode.hpp"

namespace velmar {

std::optional<SegmenterSnapshot> ChatGPTDesktopSegmenter::snapshot(const AXElement& app) const {
    AXReadScope scope;  // one parse: each attribute read once
    auto window = scope.read(app).focusedWindow();
    if (!window) return std::nullopt;
    return snapshot(*window, parser);
}

std::optional<SegmenterSnapshot> ChatGPTDesktopSegmenter::snapshot(const AXNode& window,
                                                                   const ChatGPTTranscriptParser& parser) {
    // One segment walk serves both the turns and the first prompt.
    auto segments = ChatGPTTranscriptParser::segmentsOf(window);
    auto snap = parser.snapshot(window, segments, std::nullopt);
    if (!snap) return std::nullopt;
    auto prompt = ChatGPTTranscriptParser::firstUserPromptText(segments);
    if (!prompt) return std::nullopt;
    auto trimmed = text::trim(*prompt);
    if (trimmed.empty()) return std::nullopt;
    snap->conversationKey = "apx:" + fnvHash(trimmed);
    return snap;
}

}  // namespace velmar
