#include "surfaces/AIWebURL.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using Opt = std::optional<std::string>;
const Opt none;

// Whole addresses as a tab reports them, through the parsed-address overloads.
TEST(AIWebURL, ClassifiesPagesAndFindsTheirConversation) {
    struct Case {
        const char* description;
        std::string address;
        Opt surface;
        Opt key;
        std::optional<bool> inProject = std::nullopt;
    };
    const Case cases[] = {
        {"claude new chat", "https://claude.ai/new", "claude_ai", none},
        {"design only as the first segment", "https://claude.ai/chat/design", "claude_ai", "design"},
        {"upper-case host is not listed", "https://Claude.ai/chat/xyz", none, none},
        {"port ignored, host still matches", "https://claude.ai:443/chat/x", "claude_ai", "x"},
        {"query is not part of the key", "https://chatgpt.com/c/abc?model=gpt-4o", "chatgpt", "abc", false},
        {"fragment is not part of the key", "https://gemini.google.com/app/abc#x", "gemini", "abc"},
        {"fragment that looks like a path", "https://gemini.google.com/#/app/abc", "gemini", none},
        {"chatgpt in a project", "https://chatgpt.com/g/g-p-123/c/456", "chatgpt", "456", true},
        {"chatgpt custom app, not a project", "https://chatgpt.com/g/g-abc/c/456", "chatgpt", "456", false},
        {"chatgpt project page without a chat", "https://chatgpt.com/g/g-p-123/project", "chatgpt", none},
        {"chatgpt uc prefix", "https://www.chatgpt.com/uc/77", "chatgpt", "77", false},
        {"chatgpt temporary WEB: key", "https://chatgpt.com/c/WEB:123e4567", "chatgpt", none},
        {"chatgpt lower-case web: is a real key", "https://chatgpt.com/c/web:1", "chatgpt", "web:1", false},
        {"perplexity new search", "https://www.perplexity.ai/search/new", "perplexity", none},
        {"perplexity New is not new", "https://perplexity.ai/search/New", "perplexity", "New"},
        {"escaped id is decoded", "https://gemini.google.com/app/a%20b", "gemini", "a b"},
        {"not an address", "claude.ai/chat/xyz", none, none},
        {"unparsable address", "https://claude.ai/chat/a b", none, none},
        // The Docs and Sheets panels, which only the panel lookups know.
        {"docs with tab query and fragment", "https://docs.google.com/document/d/ABC/edit?tab=t.0#heading=h.1",
         "gemini_docs", "ABC"},
        {"docs, second account", "https://docs.google.com/document/u/1/d/ABC/edit", "gemini_docs", "ABC"},
        {"account index not a number", "https://docs.google.com/document/u/x/d/ABC", "gemini_docs", none},
        {"account index is only a sign", "https://docs.google.com/document/u/-/d/ABC", "gemini_docs", none},
        {"account form with nothing after", "https://docs.google.com/document/u/1/d", "gemini_docs", none},
        {"sheets", "https://docs.google.com/spreadsheets/d/S1/edit#gid=0", "gemini_sheets", "S1"},
        {"slides are not captured", "https://docs.google.com/presentation/d/P/edit", none, none},
        {"upper-case docs host", "https://Docs.google.com/document/d/ABC", none, none},
        {"chat host is no panel", "https://gemini.google.com/document/d/ABC", "gemini", none},
    };
    for (const auto& c : cases) {
        const auto address = WebAddress::parse(c.address);
        const auto chat = AIWebURL::surface(address);
        const auto panel = AIWebURL::panelSurface(address);
        EXPECT_FALSE(chat && panel) << c.description << ": one lookup at most";
        EXPECT_EQ(chat ? chat : panel, c.surface) << c.description;
        const auto key = chat    ? AIWebURL::conversationId(address, *chat)
                         : panel ? AIWebURL::panelConversationId(address, *panel)
                                 : std::nullopt;
        EXPECT_EQ(key, c.key) << c.description;
        EXPECT_EQ(chat ? AIWebURL::inProject(address, *chat) : std::nullopt, c.inProject) << c.description;
    }
    // A panel's key is only read for the surface the page belongs to.
    EXPECT_EQ(AIWebURL::panelConversationId("/document/d/ABC", "gemini_sheets"), std::nullopt);
}

TEST(AIWebURL, RightmostPrefixMatchWins) {
    struct Case { const char* description; std::string path; std::string surface; Opt key; };
    const Case cases[] = {
        {"prefix repeated: last one", "/c/first/c/second", "chatgpt", "second"},
        {"prefix as the last segment is skipped", "/c/x/c", "chatgpt", "x"},
        {"later prefix further right wins over earlier", "/c/one/uc/two", "chatgpt", "two"},
        {"earlier prefix further right wins over later", "/uc/two/c/one", "chatgpt", "one"},
        {"multi-segment prefix found deep", "/x/a/chat/s/id/a/chat/s", "deepseek", "id"},
        {"partial multi-segment prefix", "/chat/s/id", "deepseek", none},
        {"prefix needs exact case", "/C/1", "chatgpt", none},
        {"empty pieces are dropped", "//c///1//", "chatgpt", "1"},
        {"cut at the first hash", "/c/1#/c/2", "chatgpt", "1"},
        {"hash before the id", "/c/#x", "chatgpt", none},
        {"prefix-only surface from the desktop app", "/epitaxy/s1", "claude_code_desktop", "s1"},
        {"unknown surface", "/c/1", "ChatGPT", none},
    };
    for (const auto& c : cases) EXPECT_EQ(AIWebURL::conversationId(c.path, c.surface), c.key) << c.description;
}

}  // namespace
}  // namespace velmar
