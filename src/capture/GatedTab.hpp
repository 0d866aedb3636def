#pragma once
// A browser window judged to show an AI surface: the element to segment and
// what its address says about it.

#include "ax/AXElement.hpp"

#include <optional>
#include <string>

namespace velmar {

struct GatedTab {
    // The window's web area; for Docs and Sheets, the Gemini panel's root.
    AXElement webArea;
    std::string surface;
    // From the address; absent on a page without a conversation id and on a
    // panel without a conversation feed yet.
    std::optional<std::string> conversationKey;
    bool isFocused = false;
    // "chatgpt" only: whether the address places the conversation in a project.
    std::optional<bool> inProjectFromURL;
};

}  // namespace velmar
