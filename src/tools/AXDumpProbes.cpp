// The structural probes of "ax-check": the markers each surface's parser
// relies on, looked for in a target's scope. Structural searches go at most 60
// levels deep, text searches 40.
#include "parsing/ChatGPTTranscriptParser.hpp"
#include "parsing/ClaudeDesignTranscriptParser.hpp"
#include "parsing/ClaudeMessageRows.hpp"
#include "parsing/DeepSeekTranscriptParser.hpp"
#include "parsing/GeminiTranscriptParser.hpp"
#include "parsing/ParserAnchor.hpp"
#include "parsing/PerplexityTranscriptParser.hpp"
#include "parsing/WorkspaceGeminiPanel.hpp"
#include "parsing/WorkspaceGeminiTranscriptParser.hpp"
#include "text/Regex.hpp"
#include "tools/AXDump.hpp"

namespace velmar {
namespace {

constexpr int kStructural = 60;
constexpr int kText = 40;

using Test = std::function<bool(const NodeView&)>;

// First node within maxDepth passing the test, in depth-first pre-order.
bool any(const AXNodePtr& scope, int maxDepth, Test test) {
    FirstHit hit(maxDepth, std::move(test));
    findEach(scope, {&hit});
    return hit.node != nullptr;
}

// Whole class names, as the parsers match them: a probe never passes on a
// class the parser would not take.
bool classToken(const NodeView& v, std::string_view token) { return hasClass(v.domClassList(), token); }

Test roleLabel(std::string role, std::function<bool(const std::string&)> label) {
    return [role = std::move(role), label = std::move(label)](const NodeView& v) {
        return v.role() == role && label(v.label());
    };
}

Test labelStarts(std::string prefix) {
    return [prefix = std::move(prefix)](const NodeView& v) { return v.label().starts_with(prefix); };
}

Test roleClass(std::string role, std::string token) {
    return [role = std::move(role), token = std::move(token)](const NodeView& v) {
        return (role.empty() || v.role() == role) && classToken(v, token);
    };
}

// A role (any when empty) with exactly this class among its classes.
Test wholeClass(std::string role, std::string cls) {
    return [role = std::move(role), cls = std::move(cls)](const NodeView& v) {
        return (role.empty() || v.role() == role) && hasClass(v.domClassList(), cls);
    };
}

AXDump::Probe probe(std::string name, int depth, Test test) {
    return {std::move(name), [depth, test = std::move(test)](const AXNodePtr& scope) { return any(scope, depth, test); }};
}

bool subroleWithin(const AXNodePtr& scope, std::string_view subrole, int depth) {
    return findBySubrole(scope, subrole, 0, depth) != nullptr;
}

AXDump::Probe landmarkMain() {
    return {"AXLandmarkMain scope", [](const AXNodePtr& s) { return subroleWithin(s, "AXLandmarkMain", kStructural); }};
}

AXDump::Probe equalsLabel(std::string name, std::string role, std::string label) {
    return probe(std::move(name), kStructural, roleLabel(std::move(role), [label](const std::string& l) { return l == label; }));
}

AXDump::Probe proseMirror() {
    return probe("composer (ProseMirror text area)", kStructural, roleClass("AXTextArea", "ProseMirror"));
}

// The composer as the Claude and ChatGPT parsers find it: the whole class.
AXDump::Probe proseMirrorComposer() {
    return probe("composer (ProseMirror text area)", kStructural,
                 [](const NodeView& v) { return v.role() == "AXTextArea" && hasClass(v.domClassList(), "ProseMirror"); });
}

// The Claude Design transcript: the design parser's container, a user bubble,
// or the WebKit transcript run, within 45 levels and outside nested web areas.
bool designAnchor(const AXNodePtr& node, int depth) {
    if (!node || depth > 45) return false;
    NodeView v(*node);
    if (depth > 0 && v.role() == "AXWebArea") return false;
    if (classToken(v, "om-chat-messages") || ClaudeDesignTranscriptParser::isUserBubbleClassList(v.domClassList()))
        return true;
    for (const auto& child : node->children())
        if (designAnchor(child, depth + 1)) return true;
    return false;
}

// A parser's own anchor rows as probes: each passes where its row finds.
std::vector<AXDump::Probe> fromAnchors(const ParserAnchors& rows) {
    std::vector<AXDump::Probe> out;
    for (const auto& row : rows) out.push_back({row.name, row.foundIn});
    return out;
}

std::vector<AXDump::Probe> claudeProbes(bool withModel) {
    std::vector<AXDump::Probe> out{
        equalsLabel("container 'Chat messages'", "AXGroup", "Chat messages"),
        probe("'Message N of M' turn groups", kStructural,
              roleLabel("AXGroup", [](const std::string& l) {
                  static const text::Regex turnGroup("^Message \\d+ of \\d+$");
                  return turnGroup.search(l);
              })),
        probe("role prefix 'You said:'", kText, labelStarts("You said:")),
        proseMirror(),
    };
    if (withModel) out.push_back(probe("'Model: ' node", kText, labelStarts("Model: ")));
    return out;
}

}  // namespace

std::vector<AXDump::Probe> AXDump::probes(std::string_view surface) {
    if (surface == "claude_desktop") return claudeProbes(true);
    if (surface == "claude_ai" || surface == "claude_cowork") {
        auto out = fromAnchors(ClaudeMessageRows::anchors());
        out.push_back(proseMirrorComposer());
        if (surface == "claude_ai") out.push_back(probe("'Model: ' node", kText, labelStarts("Model: ")));
        return out;
    }
    if (surface == "chatgpt") {
        auto out = fromAnchors(ChatGPTTranscriptParser::anchors());
        // The editor has no role: on Linux it is an editable group, elsewhere a text area.
        out.push_back(probe("composer (ProseMirror '#prompt-textarea')", kStructural,
                            [](const NodeView& v) { return hasClass(v.domClassList(), "ProseMirror"); }));
        return out;
    }
    if (surface == "chatgpt_desktop") {
        return {landmarkMain(), probe("role heading 'You said:' (sr-only)", kText, labelStarts("You said:")),
                probe("role heading 'ChatGPT said:' (sr-only)", kText, labelStarts("ChatGPT said:")),
                equalsLabel("user turn control 'Copy message'", "AXButton", "Copy message"), proseMirror()};
    }
    if (surface == "claude_design") {
        return {{"transcript anchor: 'om-chat-messages' container, a user bubble, or the WebKit run",
                 [](const AXNodePtr& scope) { return designAnchor(scope, 0); }}};
    }
    if (surface == "claude_code_desktop") {
        return {equalsLabel("container 'Chat messages'", "AXGroup", "Chat messages"),
                {"AXDocumentArticle turns",
                 [](const AXNodePtr& s) { return subroleWithin(s, "AXDocumentArticle", kStructural); }}};
    }
    if (surface == "gemini") {
        auto out = fromAnchors(GeminiTranscriptParser::anchors());
        out.push_back(probe("composer (Quill '.ql-editor' text area)", kStructural, wholeClass("AXTextArea", "ql-editor")));
        return out;
    }
    if (surface == "perplexity") {
        auto out = fromAnchors(PerplexityTranscriptParser::anchors());
        out.push_back(probe("composer text area", kStructural, [](const NodeView& v) { return v.role() == "AXTextArea"; }));
        return out;
    }
    if (surface == "deepseek") {
        auto out = fromAnchors(DeepSeekTranscriptParser::anchors());
        out.push_back(probe("composer ('.ds-scroll-area' text area)", kStructural, wholeClass("AXTextArea", "ds-scroll-area")));
        return out;
    }
    if (surface == "gemini_docs" || surface == "gemini_sheets") {
        std::vector<AXDump::Probe> out{
            {"anchor '.appsElementsSidekickRoot' (complementary landmark)",
                 [](const AXNodePtr& scope) {
                     FirstHit hit(kStructural, [](const NodeView& v) { return classToken(v, "appsElementsSidekickRoot"); });
                     findEach(scope, {&hit});
                     return hit.node && hit.node->subrole() == "AXLandmarkComplementary";
                 }},
                {"anchor disjoint from the editor (no kix-*/docs-editor, no nested web area)",
                 [](const AXNodePtr& scope) {
                     return WorkspaceGeminiPanel::isDisjointFromEditor(scope, 4000);
                 }},
        };
        for (auto& row : fromAnchors(WorkspaceGeminiTranscriptParser::anchors())) out.push_back(std::move(row));
        out.push_back(probe("composer ('.appsElementsSidekickPromptInput' text area)", kStructural,
                            roleClass("AXTextArea", "appsElementsSidekickPromptInput")));
        return out;
    }
    return {};
}

}  // namespace velmar
