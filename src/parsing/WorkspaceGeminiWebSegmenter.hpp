#pragma once
// One segmenter type serves the Docs and the Sheets panel; it reports the
// surface it was made for.

#include "parsing/BrowserSegmenter.hpp"
#include "parsing/WorkspaceGeminiTranscriptParser.hpp"

namespace velmar {

class WorkspaceGeminiWebSegmenter final : public BrowserSegmenter {
public:
    // "gemini_docs" or "gemini_sheets".
    explicit WorkspaceGeminiWebSegmenter(std::string surface) : surface_(std::move(surface)) {}

    WorkspaceGeminiTranscriptParser parser;

    std::string surface() const override { return surface_; }
    // The web area here is the panel root the browser gate located.
    std::optional<SegmenterSnapshot> snapshot(const AXElement& webArea,
                                              const std::optional<std::string>& conversationKey) const override {
        return parseOnce(parser, webArea, conversationKey);
    }

private:
    std::string surface_;
};

}  // namespace velmar
