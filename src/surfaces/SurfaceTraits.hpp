#pragma once
// The surface keys (one chat product in one kind of window) and what varies by
// surface. Keys are lower-case ASCII, compared exactly and case-sensitively;
// the core receives them unchanged.

#include <set>
#include <span>
#include <string>
#include <string_view>

namespace velmar {

// Every key the agent can produce; no other is ever made.
struct SurfaceKey {
    static constexpr std::string_view claudeDesktop = "claude_desktop";
    static constexpr std::string_view claudeCodeDesktop = "claude_code_desktop";
    static constexpr std::string_view chatgptDesktop = "chatgpt_desktop";
    static constexpr std::string_view claudeAI = "claude_ai";
    static constexpr std::string_view claudeDesign = "claude_design";
    static constexpr std::string_view claudeCowork = "claude_cowork";
    static constexpr std::string_view chatgpt = "chatgpt";
    static constexpr std::string_view gemini = "gemini";
    static constexpr std::string_view geminiDocs = "gemini_docs";
    static constexpr std::string_view geminiSheets = "gemini_sheets";
    static constexpr std::string_view perplexity = "perplexity";
    static constexpr std::string_view deepseek = "deepseek";
};

class SurfaceTraits {
public:
    struct Row {
        std::string_view key;
        bool nativeApp;         // captured from a desktop app's window
        bool browserTab;        // captured from a browser tab (panel surfaces included)
        bool sidePanel;         // the Gemini side panel of a Docs or Sheets page
        bool positionIndexed;   // parser numbers turns by position in the window
        bool freshSendAcceptsSettledPair;
        bool modelExpected;     // a snapshot without a model label is worth counting
    };

    // All twelve surfaces, in a fixed order.
    static std::span<const Row> all();
    // The row of a key; nullptr for a key that is not a surface.
    static const Row* find(std::string_view surface);
    static bool isKnown(std::string_view surface) { return find(surface) != nullptr; }

    // Turns on these surfaces go through the conversation's ordinal stabiliser
    // before assembly; elsewhere the parsed indexes are used as they are.
    static bool positionIndexed(std::string_view surface);
    // Default of the turn assembler's setting of the same name.
    static bool freshSendAcceptsSettledPair(std::string_view surface);
    static bool modelExpected(std::string_view surface);
    // Surfaces that a browser tab can show (the Docs and Sheets panels included).
    static bool isBrowserSurface(std::string_view surface);
    static bool isPanelSurface(std::string_view surface);

    // The surfaces on which the capture diagnostics count a missing model label.
    static const std::set<std::string, std::less<>>& modelSurfaces();
};

}  // namespace velmar
