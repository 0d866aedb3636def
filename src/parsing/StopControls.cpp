#include "parsing/StopControls.hpp"

#include "text/Unicode.hpp"

#include <array>

namespace velmar {

namespace {

constexpr std::array kRows{
    // The web apps' stop buttons, as named now and before.
    StopControls::Row{"", "AXButton", "Stop streaming", false},
    StopControls::Row{"", "AXButton", "Stop generating", false},
    StopControls::Row{"", "AXButton", "Stop response", false},
    StopControls::Row{"", "AXButton", "Stop responding", false},
    StopControls::Row{"", "AXButton", "Stop answering", false},
    // ChatGPT's older pages say it as text beside the button.
    StopControls::Row{"chatgpt", "", "Stop answering", false},
    StopControls::Row{"chatgpt_desktop", "", "Stop answering", false},
    StopControls::Row{"chatgpt_desktop", "AXButton", "Stop", false},
    // Gemini and Perplexity name their stop button "Stop …" in several ways.
    StopControls::Row{"gemini", "AXButton", "Stop", true},
    StopControls::Row{"perplexity", "AXButton", "Stop", true},
    StopControls::Row{"deepseek", "AXButton", "Stop", false},
    StopControls::Row{"claude_ai", "AXButton", "Stop", false},
    StopControls::Row{"claude_cowork", "AXButton", "Stop", false},
    StopControls::Row{"claude_desktop", "AXButton", "Stop", false},
    StopControls::Row{"gemini_docs", "AXButton", "Stop", false},
    StopControls::Row{"gemini_sheets", "AXButton", "Stop", false},
    // The Docs and Sheets panel shows a progress indicator while it works.
    StopControls::Row{"gemini_docs", "AXProgressIndicator", "Thinking", false},
    StopControls::Row{"gemini_sheets", "AXProgressIndicator", "Thinking", false},
};

}  // namespace

std::span<const StopControls::Row> StopControls::table() { return kRows; }

const StopControls::Row* StopControls::match(std::string_view surface, const NodeView& node) {
    const std::string& label = node.label();
    if (label.empty() || label.front() != 'S') return nullptr;  // every label in the table starts so
    for (const auto& row : kRows) {
        if (!row.surface.empty() && row.surface != surface) continue;
        if (!row.role.empty() && node.role() != row.role) continue;
        if (row.prefix ? label.starts_with(row.label) && text::graphemeCount(label) <= maxPrefixLabelChars
                       : label == row.label) {
            return &row;
        }
    }
    return nullptr;
}

bool StopControls::shownIn(std::string_view surface, const AXNodePtr& scope) {
    if (!scope) return false;
    // Names the rows that apply: the surface's first own row, else the table
    // (only the rows for every surface).
    const void* key = &kRows;
    for (const auto& row : kRows) {
        if (row.surface == surface) {
            key = &row;
            break;
        }
    }
    return contains(*scope, maxDepth, key, [surface](const NodeView& node) { return match(surface, node) != nullptr; });
}

}  // namespace velmar
