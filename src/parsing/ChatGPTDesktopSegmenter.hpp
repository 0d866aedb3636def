#pragma once
// The ChatGPT native window exposes no address, so a conversation is keyed on
// a hash of its first prompt: the same conversation gets the same key on every
// read and after restarts.

#include "parsing/ChatGPTTranscriptParser.hpp"
#include "parsing/Segmenter.hpp"

namespace velmar {

class ChatGPTDesktopSegmenter final : public Segmenter {
public:
    ChatGPTTranscriptParser parser = ChatGPTTranscriptParser::desktop();

    std::string surface() const override { return "chatgpt_desktop"; }
    std::optional<SegmenterSnapshot> snapshot(const AXElement& app) const override;
    std::vector<int> primeDelaysMs() const override { return {0, 150, 400, 900, 2000, 3500}; }
    std::optional<std::string> composerDraft(const AXElement&) const override { return std::nullopt; }

    // The desktop snapshot of one window: no readable first prompt, no snapshot.
    static std::optional<SegmenterSnapshot> snapshot(const AXNode& window, const ChatGPTTranscriptParser& parser);
};

}  // namespace velmar
