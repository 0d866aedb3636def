#include "capture/DesignPromptEmitter.hpp"

#include "parsing/AttachmentMarkers.hpp"
#include "parsing/FnvHash.hpp"
#include "text/Unicode.hpp"

#include <algorithm>

namespace velmar {
namespace {

constexpr std::string_view kEllipsis = "\u2026";
constexpr std::size_t kStatusLineMax = 48;

bool startsWithNoisePrefix(std::string_view text) {
    const auto& prefixes = DesignPromptEmitter::noisePrefixes();
    return std::any_of(prefixes.begin(), prefixes.end(), [text](std::string_view p) { return text.starts_with(p); });
}

// Icon-font glyphs live in the Private Use Area; a text holding one is an
// interface element read as text.
bool hasPrivateUseCharacter(std::string_view text) {
    auto cps = text::toUtf32(text);
    return std::any_of(cps.begin(), cps.end(), [](char32_t c) { return c >= 0xE000 && c <= 0xF8FF; });
}

std::vector<std::string_view> nonEmptyLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// A short line ending in an ellipsis: "Searching for brand colours…".
bool isProgressLine(const std::string& trimmedLine) {
    return text::graphemeCount(trimmedLine) <= kStatusLineMax && std::string_view(trimmedLine).ends_with(kEllipsis);
}

}  // namespace

DesignPromptEmitter::DesignPromptEmitter(EventHandler onEvent, std::string surface)
    : surface_(std::move(surface)), onEvent_(std::move(onEvent)) {}

const std::vector<std::string_view>& DesignPromptEmitter::noisePrefixes() {
    static const std::vector<std::string_view> prefixes{
        "Listed files in project", "Listing files",   "Verifier agent check completed", "Editing ",
        "Searching for ",          "Processing project files", "Updated todos",       "Claude has some questions",
    };
    return prefixes;
}

bool DesignPromptEmitter::containsNoiseLine(std::string_view text) {
    for (auto line : nonEmptyLines(text)) {
        auto trimmed = text::trim(line);
        if (trimmed == "\u2713" || isProgressLine(trimmed) || startsWithNoisePrefix(trimmed)) return true;
    }
    return false;
}

bool DesignPromptEmitter::isPrompt(std::string_view textValue, bool parityFallback) {
    auto trimmed = text::trim(textValue);
    if (trimmed.empty() || hasPrivateUseCharacter(trimmed)) return false;
    // A status line: short, and its first line ends in an ellipsis.
    if (text::graphemeCount(trimmed) <= kStatusLineMax) {
        auto lines = nonEmptyLines(trimmed);
        if (!lines.empty() && std::string_view(text::trim(lines.front())).ends_with(kEllipsis)) return false;
    }
    if (parityFallback && containsNoiseLine(trimmed)) return false;
    return !startsWithNoisePrefix(trimmed);
}

void DesignPromptEmitter::process(const SegmenterSnapshot& snapshot, TimePoint observedAt, bool fromNewChat) {
    lastProcessedAt_ = observedAt;
    // A fallback read guesses roles by position; it may only prime, never send.
    if (snapshot.usedParityFallback && primed_) return;

    std::vector<const RawTurn*> prompts;
    for (const auto& turn : snapshot.turns) {
        if (turn.role == "user" && isPrompt(turn.text, snapshot.usedParityFallback)) prompts.push_back(&turn);
    }
    auto hashOf = [](const RawTurn& turn) { return fnvHash(AttachmentMarkers::stripping(turn.text)); };

    if (!primed_) {
        if (snapshot.turns.empty()) return;
        primed_ = true;
        if (!fromNewChat) {
            // Already on screen when capture began: what is there is history.
            for (const auto* turn : prompts) seenHashes_.insert(hashOf(*turn));
            return;
        }
    }

    for (const auto* turn : prompts) {
        if (!seenHashes_.insert(hashOf(*turn)).second) continue;
        TurnEvent event;
        event.surface = surface_;
        event.prompt = turn->text;
        event.response = "";
        event.model = snapshot.model;
        event.conversationKey = snapshot.conversationKey;
        event.turnIndex = turn->index;
        event.turnTotal = turn->total;
        event.observedAt = observedAt;
        event.captureTier = 2;
        event.verdict = "ok";
        if (onEvent_) onEvent_(event);
    }
}

std::string DesignPromptEmitter::debugState() const {
    return std::string("primed=") + (primed_ ? "true" : "false") + " seen=" + std::to_string(seenHashes_.size());
}

}  // namespace velmar
