#pragma once
// Chat pages as the real parsers read them, for the capture controllers'
// tests and benchmarks: a conversation given as its turn texts (user first,
// alternating), built into the tree each web app shows.

#include "support/ParserTrees.hpp"

#include <string>
#include <vector>

namespace velmar::testing {

using Texts = std::vector<std::string>;

// claude.ai (and Claude Desktop's web view): "Message N of M" groups under
// "Chat messages"; a finished reply carries the completion notice.
inline N claudePage(const std::string& url, const Texts& turns, bool finished, std::string draft = {}) {
    N chat = std::move(N("AXGroup").description("Chat messages"));
    const int total = static_cast<int>(turns.size());
    for (int i = 0; i < total; ++i) {
        const bool user = i % 2 == 0;
        chat.kid(N("AXGroup")
                     .description("Message " + std::to_string(i + 1) + " of " + std::to_string(total))
                     .kids({text((user ? "You said: " : "Claude responded: ") + turns[i]), text(turns[i])}));
    }
    N area = std::move(N("AXWebArea").url(url).kids({text("Model: Sonnet"), chat}));
    if (finished) area.kid(text("Claude finished the response"));
    N composer = std::move(N("AXTextArea").classes({"ProseMirror"}));
    if (!draft.empty()) composer.value(std::move(draft));
    area.kid(composer);
    return area;
}

// chatgpt.com: a main landmark holding one flat run of headed messages; a
// reply still streaming shows "Stop answering".
inline N chatgptPage(const std::string& url, const Texts& turns, bool finished) {
    N thread("AXGroup");
    for (std::size_t i = 0; i < turns.size(); ++i) {
        const bool user = i % 2 == 0;
        thread.kid(N("AXHeading").title(user ? "You said:" : "ChatGPT said:").classes({"sr-only"}));
        thread.kid(N("AXGroup").kids({text(turns[i])}));
    }
    N main = std::move(N("AXGroup").subrole("AXLandmarkMain").kids({thread}));
    if (!finished) main.kid(button("Stop answering"));
    return std::move(N("AXWebArea").url(url).kids({N("AXGroup").kids({main})}));
}

// chat.deepseek.com: the virtual list's visible items; a finished reply has
// its action row.
inline N deepseekPage(const std::string& url, const Texts& turns, bool finished) {
    N items("AXGroup");
    items.classes({"ds-virtual-list-visible-items"});
    for (std::size_t i = 0; i < turns.size(); ++i) {
        if (i % 2 == 0) {
            items.kid(group({group({text(turns[i])}, {"ds-message"}), group({button("Edit")})}));
            continue;
        }
        N item = group({group({group({group({text(turns[i])}, {"ds-markdown-paragraph"})}, {"ds-markdown"})},
                              {"ds-message"})});
        if (finished || i + 1 < turns.size()) item.kid(group({group({button("Copy"), button("Regenerate")})}, {"ds-flex"}));
        items.kid(item);
    }
    return std::move(N("AXWebArea").url(url).kids({group({group({button("New chat")})}), group({items})}));
}

}  // namespace velmar::testing
