#include "parsing/ClaudeSegmenter.hpp"

#include "ax/AXReadScope.hpp"
#include "surfaces/AIWebURL.hpp"
#include "surfaces/WebAddress.hpp"

namespace velmar {
namespace {

constexpr int kDocumentDepth = 40;

// A live element reports its address as a URL value, a recorded node as text.
std::optional<std::string> addressOf(const AXNode& node) {
    if (const auto* live = dynamic_cast<const AXElement*>(&node)) {
        auto value = live->attribute("AXURL");
        if (!value) return std::nullopt;
        if (const auto* url = std::get_if<AXURLValue>(&*value)) return url->absoluteString;
        if (const auto* text = std::get_if<std::string>(&*value)) return *text;
        return std::nullopt;
    }
    return node.string("AXURL");
}

std::optional<std::string> findDocumentURL(const AXNode& node, int depth) {
    if (depth > kDocumentDepth) return std::nullopt;
    if (node.role() == "AXWebArea") {
        // A web area from elsewhere (a sign-in page, an embed) is searched like any other node.
        if (auto url = addressOf(node); url && AIWebURL::surface(WebAddress::parse(*url).host) == "claude_ai") {
            return url;
        }
    }
    if (depth == kDocumentDepth) return std::nullopt;
    for (const auto& child : node.children()) {
        if (auto url = findDocumentURL(*child, depth + 1)) return url;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ClaudeSegmenter::claudeDocumentURL(const AXNode& window) {
    return findDocumentURL(window, 0);
}

std::optional<SegmenterSnapshot> ClaudeSegmenter::snapshotOfWindow(const AXNode& window) const {
    auto url = claudeDocumentURL(window);
    if (!url) return std::nullopt;
    auto address = WebAddress::parse(*url);
    auto pageSurface = AIWebURL::surface(address);
    std::optional<std::string> key;
    if (pageSurface) key = AIWebURL::conversationId(address, *pageSurface);

    if (pageSurface == "claude_design") return designParser.snapshot(window, key);
    // The Claude Code view is not a chat transcript this agent captures live.
    if (AIWebURL::firstSegment(address.decodedPath()) == "epitaxy") return std::nullopt;
    auto snap = parser.snapshot(window, key);
    if (snap && pageSurface == "claude_cowork") snap->surface = "claude_cowork";
    return snap;
}

std::optional<SegmenterSnapshot> ClaudeSegmenter::snapshot(const AXElement& app) const {
    AXReadScope scope;  // one parse: each attribute read once
    auto window = scope.read(app).focusedWindow();
    if (!window) return std::nullopt;
    return snapshotOfWindow(*window);
}

std::optional<std::string> ClaudeSegmenter::composerDraft(const AXElement& app) const {
    AXReadScope scope;
    auto window = scope.read(app).element("AXFocusedWindow");
    if (!window) return std::nullopt;
    return ClaudeTranscriptParser::readComposerDraft(*window);
}

}  // namespace velmar
