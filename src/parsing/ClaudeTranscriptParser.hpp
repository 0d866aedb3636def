#pragma once
// Reads a Claude chat transcript (the desktop app's web view or a browser tab:
// both expose the same tree) into turns and the conversation-level facts.

#include "ax/AXNode.hpp"
#include "parsing/PasteResolver.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmar {

namespace text {
class Regex;
}

class ClaudeTranscriptParser {
public:
    // A pasted-text attachment chip: the interface shows a line count and a
    // short preview, never the pasted body itself.
    struct PasteChip {
        int lines = 0;
        std::string preview;  // longest text inside the chip; may be empty
        bool operator==(const PasteChip&) const = default;
    };

    // What an artifact card's text leaves say.
    struct ArtifactCard {
        std::string title;  // at most 256 characters
        std::optional<std::string> type;
        bool operator==(const ArtifactCard&) const = default;
    };

    // What a turn reports about an artifact; both parts absent still means
    // the turn produced one.
    struct Artifact {
        std::optional<std::string> title;
        std::optional<std::string> type;
        bool operator==(const Artifact&) const = default;
    };

    // Whether inProject and the artifact fields are determined at all.
    bool detectFields = true;
    // Empty: no pasted bodies, a chip stays a marker with its line count.
    PasteResolver resolvePaste;

    // Absent when neither the transcript container nor any message is found.
    std::optional<SegmenterSnapshot> snapshot(const AXNode& scope, std::optional<std::string> conversationKey) const;

    // One message group to a turn; absent when its label has no header.
    std::optional<RawTurn> extractTurn(const AXNode& group) const;


    static std::optional<std::string> readComposerDraft(const AXNode& scope);
    static std::vector<PasteChip> pasteChips(const AXNode& scope, bool excludingChat);
    static std::string chipPreview(const AXNode& chip);
    static std::optional<ArtifactCard> cardFromLeaves(const std::vector<std::string>& leaves);
    static std::optional<std::string> titleFromViewLabel(std::string_view label);
    static std::optional<std::string> collapsedRecovery(const std::string& body,
                                                        const std::vector<std::string>& nodeTexts);
    static std::string pasteBlock(int lines, const std::string& body);
    static std::string appendPasteBlocks(const std::string& text, const std::vector<PasteChip>& chips,
                                         const PasteResolver& resolve);
    static std::optional<std::string> imageChipName(const AXNode& tile);
    static std::optional<Artifact> artifactCard(const AXNode& group);
    static std::vector<std::string> textLeaves(const AXNode& node, std::size_t limit);

    // Case-insensitive "pasted … N lines" at the end of a chip's label; group 1 is N.
    static const text::Regex& pasteChipRe();

private:
    // One message to a turn; the role its text states wins over the row's.
    RawTurn turnOf(const AXNode& group, int index, int total, const std::optional<std::string>& role) const;
};

}  // namespace velmar
