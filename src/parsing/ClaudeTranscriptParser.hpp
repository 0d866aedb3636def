#pragma once
// Reads a Claude chat transcript (the desktop app's web view or a browser tab:
// both expose the same tree) into turns and the conversation-level facts.

#include "ax/AXNode.hpp"
#include "parsing/ParserAnchor.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmar {

class Clipboard;

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

    // Finds the full body of a pasted text from its chip (line count, preview).
    using PasteResolver = std::function<std::optional<std::string>(int lines, const std::string& preview)>;

    // Bodies through the process-wide pasteboard cache, reading `clipboard`
    // when the cache has none (null: the cache alone answers).
    static PasteResolver pasteboardResolver(const Clipboard* clipboard);
    // Never finds a body: offline parsing that must not depend on the machine.
    static PasteResolver noPasteBodies();

    // Whether inProject and the artifact fields are determined at all.
    bool detectFields = true;
    PasteResolver resolvePaste = pasteboardResolver(nullptr);

    // Absent when neither the transcript container nor any message is found.
    std::optional<SegmenterSnapshot> snapshot(const AXNode& scope, std::optional<std::string> conversationKey) const;

    // One message group to a turn; absent when its label has no header.
    std::optional<RawTurn> extractTurn(const AXNode& group) const;

    // A message found by one of the message rows: the nodes that make it up
    // (one labelled group, or a run of siblings in a page that exposes no
    // message container) and, where the row tells, its role.
    struct Message {
        std::vector<AXNodePtr> nodes;
        std::optional<std::pair<int, int>> header;  // "Message N of M"
        std::optional<std::string> role;
    };
    // The messages of the first message row that finds any, in page order.
    static std::vector<Message> messages(const AXNode& scope);
    // The message rows, in the order they are tried (what `ax-check` probes).
    static const ParserAnchors& anchors();

    // "Message N of M" anywhere in a label: (index, total).
    static std::optional<std::pair<int, int>> parseHeader(std::string_view label);

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
