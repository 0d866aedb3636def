#pragma once
// Claude Desktop's window hosts the Claude web app in a web view. The page's
// address decides how the window is read: design pages by the design reader,
// the Claude Code view not at all, every other page as a chat transcript.

#include "parsing/ClaudeDesignTranscriptParser.hpp"
#include "parsing/ClaudeTranscriptParser.hpp"
#include "parsing/Segmenter.hpp"

namespace velmar {

class ClaudeSegmenter final : public Segmenter {
public:
    ClaudeTranscriptParser parser;
    ClaudeDesignTranscriptParser designParser;

    std::string surface() const override { return "claude_desktop"; }
    std::optional<SegmenterSnapshot> snapshot(const AXElement& app) const override;
    std::vector<int> primeDelaysMs() const override { return {0, 150, 400, 900}; }
    std::optional<std::string> composerDraft(const AXElement& app) const override;

    // One window, read as `snapshot` reads the application's window. The whole
    // window is the scope, so the model line, the project checkbox and the
    // composer are found wherever the app places them.
    std::optional<SegmenterSnapshot> snapshotOfWindow(const AXNode& window) const;

    // The address of the first web document in the window served from a
    // Claude host; absent when there is none.
    static std::optional<std::string> claudeDocumentURL(const AXNode& window);
};

}  // namespace velmar
