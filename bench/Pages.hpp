#pragma once
// Generated chat pages for the parser benchmarks, one per parser, shaped like
// the bundled recordings and grown exchange by exchange to a node budget
// (3,000 and 30,000 in the benchmarks). Texts are placeholders; only the
// structure matters for what the parsers read.

#include "support/Trees.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace velmar::bench {

using testing::N;

inline std::size_t countNodes(const nlohmann::json& node) {
    std::size_t n = 1;
    if (auto it = node.find("children"); it != node.end()) {
        for (const auto& c : *it) n += countNodes(c);
    }
    return n;
}

inline N text(const std::string& s) { return std::move(N("AXStaticText").value(s)); }
inline N group(std::vector<std::string> classes = {}) {
    N g("AXGroup");
    if (!classes.empty()) g.classes(std::move(classes));
    return g;
}
inline N button(const std::string& description) { return std::move(N("AXButton").description(description)); }

// A sidebar of past conversations, so the page's search walks have chrome to cross.
inline N sidebar(int links) {
    N nav = std::move(N("AXGroup").subrole("AXLandmarkNavigation"));
    for (int i = 0; i < links; ++i) nav.kid(N("AXLink").kids({text("Xxxxx xxxx " + std::to_string(i))}));
    return nav;
}

// Appends exchange(i) to `into` (through `add`) while the page stays within
// `budget` nodes, `fixed` being the nodes outside the exchanges.
inline void fill(std::size_t budget, std::size_t fixed, const std::function<std::vector<N>(int)>& exchange,
                 const std::function<void(const N&)>& add) {
    std::size_t used = fixed;
    for (int i = 0;; ++i) {
        auto parts = exchange(i);
        std::size_t size = 0;
        for (const auto& p : parts) size += countNodes(p.json());
        if (used + size > budget) return;
        for (const auto& p : parts) add(p);
        used += size;
    }
}

// ChatGPT: message articles opened by hidden headings, about 30 nodes a pair.
// The desktop app shows the same page in a window, with a "Stop" button in
// its composer while a reply streams.
inline nlohmann::json chatgptPage(std::size_t budget, bool desktop) {
    auto pair = [](int i) {
        std::vector<N> out;
        out.push_back(N("AXGroup").subrole("AXDocumentArticle").kids({
            N("AXHeading").title("You said:").classes({"sr-only"}).kids({text("You said:")}),
            N("AXGroup").kids({N("AXGroup").kids({text("Xxxx xx " + std::to_string(i))})}),
            N("AXGroup").description("Your message actions").kids({button("Copy message"), button("Edit message")}),
        }));
        N markdown("AXGroup");
        for (int p = 0; p < 4; ++p) markdown.kid(N("AXGroup").kids({text("Xxxxx xxxx xxxxx " + std::to_string(p))}));
        markdown.kid(N("AXList").kids({N("AXGroup").kids({text("Xxx")}), N("AXGroup").kids({text("Xxx")})}));
        out.push_back(N("AXGroup").subrole("AXDocumentArticle").kids({
            N("AXHeading").title("ChatGPT said:").classes({"sr-only"}),
            markdown,
            N("AXGroup").description("Response actions").kids({button("Copy"), button("Good response"),
                                                               button("Bad response")}),
        }));
        return out;
    };
    N thread("AXGroup");
    const std::size_t fixed = desktop ? 16 : 9;
    fill(budget, fixed, pair, [&](const N& n) { thread.kid(n); });
    N composer = desktop ? std::move(group({"composer-parent"}).kids({N("AXGroup").kids({
                               N("AXTextArea").placeholder("Ask anything").classes({"ProseMirror"}),
                               button("Add photos & files"), button("Send")})}))
                         : std::move(N("AXGroup").kids({N("AXTextArea").placeholder("Ask anything"), button("Send")}));
    N page = std::move(N("AXWebArea").title("ChatGPT").kids({N("AXGroup").kids({
        N("AXGroup").subrole("AXLandmarkNavigation").kids({N("AXLink").title("New chat")}),
        N("AXGroup").subrole("AXLandmarkMain").kids({thread, composer}),
    })}));
    if (!desktop) return page.json();
    return N("AXWindow")
        .subrole("AXStandardWindow")
        .title("ChatGPT")
        .kids({N("AXButton").subrole("AXCloseButton"), N("AXButton").subrole("AXMinimizeButton"),
               N("AXGroup").kids({N("AXScrollArea").kids({page})})})
        .json();
}

// Claude: message groups labelled "Message N of M" inside "Chat messages",
// hidden headings, code blocks and now and then an artifact card; the model
// button, the project checkbox and the composer outside the transcript. The
// desktop app shows the same page in a window.
inline nlohmann::json claudePage(std::size_t budget, bool desktop) {
    // Each message's header needs the total, so messages are counted first.
    auto user = [](int i, const std::string& header) {
        return std::move(N("AXGroup").description(header).classes({"mb-1", "mt-1"}).kids({
            N("AXHeading").classes({"sr-only"}).kids({text("You said: Xxxx xx " + std::to_string(i))}),
            group({"group", "relative", "inline-flex"}).kids({group({"font-user-message", "grid"}).kids({
                group({"whitespace-normal", "break-words"}).kids({text("Xxxx xx " + std::to_string(i))})})}),
            group({"absolute", "bottom-0"}).kids({group({"text-text-500", "text-xs"}).kids({text("10:42 AM")}),
                                                  button("Edit"), button("Copy")}),
        }));
    };
    auto assistant = [](int i, const std::string& header) {
        N response = group({"font-claude-response", "relative"});
        for (int p = 0; p < 3; ++p) {
            response.kid(group({"whitespace-normal", "break-words"}).kids({text("Xxxxx xxxx xxxxx " + std::to_string(p))}));
        }
        response.kid(group({"code-block__code"}).kids({text("=XXXXX(X:X, \"xxxx\", X:X)")}));
        response.kid(N("AXList").kids({N("AXGroup").kids({text("Xxx")}), N("AXGroup").kids({text("Xxx")})}));
        if (i % 5 == 4) {
            response.kid(group({"artifact-block-cell", "group/artifact-block"}).kids({
                group().kids({text("Xxxxxx xxxxx"), text("Code \u00b7 HTML")}), button("View Xxxxxx xxxxx")}));
        }
        return std::move(N("AXGroup").description(header).classes({"group", "relative", "pb-3"}).kids({
            N("AXHeading").classes({"sr-only"}).kids({text("Claude responded: Xxxxx xxxx " + std::to_string(i))}),
            group({"text-xs"}).kids({text("3 hours ago")}),
            response,
            N("AXToolbar").description("Message actions").kids({button("Copy"), button("Give positive feedback"),
                                                                 button("Give negative feedback"), button("Retry")}),
        }));
    };
    auto header = [](int n, int total) { return "Message " + std::to_string(n) + " of " + std::to_string(total); };
    const std::size_t fixed = desktop ? 38 : 35;
    int messages = 0;
    fill(budget, fixed, [&](int i) { return std::vector<N>{user(i, header(1, 1)), assistant(i, header(2, 2))}; },
         [&](const N&) { ++messages; });
    N chat = std::move(N("AXGroup").description("Chat messages").classes({"flex-1", "flex", "flex-col"}));
    for (int m = 0; m < messages; ++m) {
        chat.kid(m % 2 == 0 ? user(m / 2, header(m + 1, messages)) : assistant(m / 2, header(m + 1, messages)));
    }
    N page = std::move(N("AXWebArea").title("Xxxxxx - Claude").url("https://claude.ai/chat/3f1c9a2e-7b4d-4e8a-9c61-0d5b8e2f4a17").kids({
        N("AXGroup").kids({
            sidebar(8),
            N("AXGroup").subrole("AXLandmarkMain").classes({"flex", "flex-col", "h-full"}).kids({
                N("AXGroup").subrole("AXLandmarkBanner").kids({
                    N("AXCheckBox").description("Project: Xxxxxxxxx xxxxxx").kids({text("Xxxxxxxxx xxxxxx")}),
                    button("Share")}),
                group({"relative", "flex-1", "overflow-y-auto"}).kids({chat}),
                N("AXGroup").description("Message composer").kids({
                    group({"relative"}).kids({N("AXTextArea").description("Write your prompt to Claude")
                                                  .placeholder("Reply to Claude\u2026")
                                                  .classes({"tiptap", "ProseMirror"})}),
                    group({"flex", "gap-2.5"}).kids({button("Add files"),
                                                     N("AXButton").description("Model: Xxxxxx 4.5").kids({text("Xxxxxx 4.5")}),
                                                     button("Send message")}),
                }),
                N("AXGroup").subrole("AXApplicationStatus").classes({"sr-only"}).kids({text("Claude finished the response")}),
            }),
        }),
    }));
    if (!desktop) return page.json();
    return N("AXWindow").title("Claude").kids({N("AXGroup").kids({N("AXGroup").kids({page})}),
                                               N("AXButton").subrole("AXCloseButton")})
        .json();
}

// Claude Code: message articles with a hidden role heading inside "Chat
// messages", tool runs in between.
inline nlohmann::json claudeCodeWindow(std::size_t budget) {
    auto exchange = [](int i) {
        std::vector<N> out;
        out.push_back(N("AXDocumentArticle").kids({
            N("AXHeading").title("You said: Xxxx " + std::to_string(i)).kids({text("You said: Xxxx " + std::to_string(i))}),
            N("AXGroup").kids({N("AXGroup").kids({text("Xxxx xx " + std::to_string(i))}), N("AXGroup").kids({text("Xxx?")})}),
            N("AXGroup").kids({button("Copy"), button("Edit")}),
        }));
        out.push_back(N("AXDocumentArticle").kids({N("AXGroup").kids({N("AXGroup").kids({
            N("AXButton").description("Read xxxx.ts").kids({text("Read"), text("xxxx.ts")}), text("Done")})})}));
        N reply("AXGroup");
        reply.kid(N("AXHeading").title("Claude responded: Xxxx").kids({text("Claude responded: Xxxx")}));
        for (int p = 0; p < 4; ++p) reply.kid(N("AXGroup").kids({text("Xxxxx xxxx xxxxx " + std::to_string(p))}));
        out.push_back(N("AXDocumentArticle").kids({reply, N("AXGroup").kids({button("Copy"), button("Retry")})}));
        return out;
    };
    N chat = std::move(N("AXGroup").description("Chat messages"));
    fill(budget, 20, exchange, [&](const N& n) { chat.kid(n); });
    chat.kid(group({"sr-only"}).kids({text("Claude finished the response")}));
    return N("AXWindow").title("Claude")
        .kids({N("AXGroup").kids({N("AXGroup").kids({N("AXWebArea").title("Claude").kids({
                   sidebar(3),
                   N("AXGroup").subrole("AXLandmarkMain").kids({
                       N("AXGroup").kids({text("Xxx xxxxx xxxxxxxx xxxx"), button("Open in terminal")}),
                       N("AXGroup").kids({chat}),
                       N("AXGroup").kids({N("AXTextArea").description("Write your prompt to Claude"),
                                          button("Send message"), button("Model: Xxxx")}),
                   })})})}),
               N("AXButton").subrole("AXCloseButton")})
        .json();
}

// Claude Design: user bubbles and assistant turns in "om-chat-messages", the
// composer with its model picker, and the design canvas beside the chat.
inline nlohmann::json claudeDesignPage(std::size_t budget) {
    auto exchange = [](int i) {
        std::vector<N> out;
        N row = group({"flex", "flex-col", "items-end", "gap-1"});
        if (i % 4 == 0) row.kid(group({"om-attachment-thumb", "rounded-md"}).kids({N("AXImage").description("xxxx.jpg")}));
        row.kid(group({"select-text", "w-fit", "max-w-[85%]", "rounded-2xl"}).kids({
            text("Xxxx x xxxxxxx xxxx " + std::to_string(i)), text("Xxxx xxxxxxx.")}));
        out.push_back(row);
        N body = group({"flex", "flex-col", "gap-1"});
        body.kid(group({"om-tool-line"}).kids({text("Editing index.html")}));
        for (int p = 0; p < 3; ++p) body.kid(group({"prose"}).kids({text("Xxxxx xxxx xxxxx " + std::to_string(p))}));
        out.push_back(group({"om-assistant-turn", "flex", "gap-2"}).kids({
            group({"avatar"}).kids({N("AXImage").description("Claude")}), body}));
        return out;
    };
    N chat = group({"om-chat-messages", "flex", "flex-col"});
    fill(budget, 40, exchange, [&](const N& n) { chat.kid(n); });
    N canvas = group({"om-canvas", "flex-1"});
    N preview = std::move(N("AXWebArea").title("Preview"));
    for (int i = 0; i < 6; ++i) preview.kid(N("AXGroup").kids({N("AXHeading").kids({text("Xxxxx xxxxx")}), text("Xxxx")}));
    canvas.kid(preview);
    return N("AXWebArea")
        .title("Xxxxxx - Claude")
        .url("https://claude.ai/design/p/4a6c8e0b-2d4f")
        .kids({group({"flex", "h-full"}).kids({
            group({"om-chat-panel", "flex", "flex-col"}).kids({
                group({"om-chat-header"}).kids({N("AXHeading").kids({text("Xxxxxx xxxxxxxxxxxx")}), button("Share")}),
                chat,
                group({"om-composer", "border-t"}).kids({
                    group({"relative"}).kids({N("AXTextArea").placeholder("Describe what you want to create\u2026")
                                                  .classes({"om-composer-input"})}),
                    group({"flex", "gap-1"}).kids({button("Attach"), N("AXPopUpButton").title("Opus 4.1"), button("Send")}),
                }),
            }),
            canvas,
        })})
        .json();
}

// Gemini: exchanges under "chat-history", about 60 nodes each, with the
// model picker above and the input area below.
inline nlohmann::json geminiPage(std::size_t budget) {
    auto exchange = [](int i) {
        N markdown = group({"markdown", "markdown-main-panel"});
        for (int p = 0; p < 8; ++p) markdown.kid(N("AXGroup").kids({text("Xxxxx xxxx xxxxx " + std::to_string(p))}));
        markdown.kid(N("AXList").kids({group().kids({text("Xxx")}), group().kids({text("Xxx")}), group().kids({text("Xxx")})}));
        markdown.kid(group({"code-block"}).kids({N("AXHeading").classes({"cdk-visually-hidden"}).kids({text("Code snippet")}),
                                                 button("Copy code"), text("xx = 1")}));
        return std::vector<N>{group({"conversation-container"}).kids({
            group({"user-query-container"}).kids({
                N("AXHeading").classes({"cdk-visually-hidden", "screen-reader-user-query-label"}).title("You said Xxx"),
                group({"query-content"}).kids({group({"query-text"}).kids({text("Xxxx xx " + std::to_string(i))})}),
                button("Edit text"),
            }),
            group({"model-response"}).kids({
                N("AXHeading").classes({"cdk-visually-hidden", "screen-reader-model-response-label"}).title("Gemini said"),
                group({"response-container"}).kids({
                    group({"response-container-header"}).kids({N("AXButton").kids({text("Show thinking")})}),
                    group({"presented-response-container"}).kids({markdown}),
                    group({"response-container-footer"}).kids({button("Good response"), button("Bad response"),
                                                               button("Copy response")}),
                }),
            }),
        })};
    };
    const int links = budget >= 10000 ? 200 : 20;
    N history = group({"chat-history"});
    fill(budget, 2 * static_cast<std::size_t>(links) + 14, exchange, [&](const N& n) { history.kid(n); });
    return N("AXWebArea")
        .kids({sidebar(links),
               N("AXGroup").subrole("AXLandmarkMain").kids({
                   group({"top-bar-actions"}).kids({group({"with-model-picker"}).kids({
                       N("AXPopUpButton").description("Open mode picker, currently 2.5 Flash")})}),
                   group({"chat-container"}).kids({group({"chat-history-scroll-container"}).kids({history})}),
                   group({"input-area-container"}).kids({N("AXTextArea"), button("Microphone")}),
               })})
        .json();
}

// Perplexity: one flat run of blocks per thread: query controls, the query,
// tabs, source chips, answer groups, and the answer's action buttons.
inline nlohmann::json perplexityPage(std::size_t budget) {
    auto exchange = [](int i) {
        auto chip = [](const std::string& site) { return group({"citation", "inline-flex"}).kids({N("AXImage"), text(site)}); };
        N answer("AXGroup");
        for (int p = 0; p < 3; ++p) {
            answer.kid(N("AXGroup").kids({text("Xxxxx xxxx xxxxx xxxx " + std::to_string(p)), chip("wikipedia")}));
        }
        answer.kid(N("AXHeading").kids({text("Xxx xxx xxxxxx?")}));
        answer.kid(N("AXGroup").kids({N("AXImage").description("Diagram"), text("Xxxxxxxx xxxxxxxxxx xx xxx")}));
        return std::vector<N>{
            group({"group/query"}).kids({button("Edit query"), button("Copy query")}),
            N("AXGroup").kids({N("AXGroup").kids({text("xxx xx xxx xxx " + std::to_string(i))}),
                               N("AXGroup").kids({text("Dec 2, 9:41 AM")})}),
            N("AXTabGroup").kids({N("AXRadioButton").kids({text("Answer")}), N("AXRadioButton").kids({text("Images")}),
                                  N("AXRadioButton").kids({text("Sources \u00b7 8")})}),
            N("AXGroup").kids({N("AXGroup").kids({chip("wikipedia"), chip("nasa"), chip("+5")})}),
            answer,
            button("Share"), button("Export"), button("Rewrite"), button("Copy"),
        };
    };
    N thread("AXGroup");
    fill(budget, 20, exchange, [&](const N& n) { thread.kid(n); });
    return N("AXWebArea")
        .title("xxx - Perplexity")
        .kids({N("AXGroup").subrole("AXLandmarkNavigation").kids({N("AXLink").kids({text("Home")}),
                                                                  N("AXLink").kids({text("Discover")}),
                                                                  button("New Thread")}),
               N("AXGroup").subrole("AXLandmarkMain").kids({
                   N("AXGroup").kids({text("xxx"), button("Share"), button("Thread actions")}),
                   N("AXGroup").kids({group({"scrollable-container"}).kids({thread})}),
                   N("AXGroup").kids({N("AXTextArea").placeholder("Ask a follow-up"), button("Attach"), button("Submit")}),
               })})
        .json();
}

// DeepSeek: a virtualised list of items, about 40 nodes an exchange, with
// reasoning blocks, split paragraphs and citation markers.
inline nlohmann::json deepSeekPage(std::size_t budget) {
    auto exchange = [](int i) {
        N user = group().kids({group({"ds-message"}).kids({group().kids({text("Xxxx xx " + std::to_string(i))})}),
                               group().kids({button("Copy"), button("Edit")})});
        N think = group({"ds-think-content"}).kids({group({"ds-markdown"}).kids({
            group({"ds-markdown-paragraph"}).kids({text("Xxxx")}), group({"ds-markdown-paragraph"}).kids({text("Xxxx")})})});
        N answer = group({"ds-markdown"});
        for (int p = 0; p < 6; ++p) {
            answer.kid(group({"ds-markdown-paragraph"}).kids({text("Xxxx "), group().kids({text("xxx")}), text(" xxxx."),
                                                             group({"ds-markdown-cite"}).kids({text("1")})}));
        }
        N reply = group().kids({group({"ds-message"}).kids({group().kids({text("Thought for 3 seconds")}), think, answer}),
                                group().kids({group({"ds-flex"}).kids({button("Copy"), button("Regenerate")})})});
        return std::vector<N>{user, reply};
    };
    const int links = budget >= 10000 ? 200 : 20;
    N items = group({"ds-virtual-list-visible-items"});
    fill(budget, 2 * static_cast<std::size_t>(links) + 7, exchange, [&](const N& n) { items.kid(n); });
    return N("AXWebArea")
        .kids({N("AXGroup").kids({sidebar(links),
                                  group().kids({group({"ds-virtual-list"}).kids({items}),
                                                N("AXTextArea").placeholder("Message DeepSeek")})})})
        .json();
}

// The Gemini panel of Google Docs: the panel root the browser gate hands
// over, with a long feed of user and agent messages.
inline nlohmann::json workspacePanel(std::size_t budget) {
    auto exchange = [](int i) {
        N content = group({"appsElementsSidekickAgentMessageContent"});
        content.kid(N("AXGroup").kids({text("Xxx xxxxxxxx xxxxxxxx " + std::to_string(i))}));
        content.kid(N("AXList").kids({N("AXGroup").kids({text("Xxxxxx")}), N("AXGroup").kids({text("Xxx xxxxxx")})}));
        return std::vector<N>{
            group({"appsElementsSidekickUserMessageRoot"}).kids({
                N("AXHeading").title("Xxxxxxxxx xxxx " + std::to_string(i)).classes({"appsElementsSidekickUserMessageContainer"})
                    .kids({text("Xxxxxxxxx xxxx " + std::to_string(i))}),
                group({"appsElementsSidekickUserMessageActions"}).kids({button("Edit prompt")}),
            }),
            group({"appsElementsSidekickAgentMessageRoot"}).kids({
                text("Gemini response"),
                content,
                group({"appsElementsSidekickSources"}).kids({button("Sources"), N("AXLink").kids({text("Xxxxxx xxxx")})}),
                group({"appsElementsSidekickFeedbackActions"}).kids({button("Insert"), button("Copy"),
                                                                     button("Good response"), button("Bad response")}),
            }),
        };
    };
    N feed = group({"appsElementsSidekickFeedEntries"});
    fill(budget, 12, exchange, [&](const N& n) { feed.kid(n); });
    return N("AXGroup")
        .subrole("AXLandmarkComplementary")
        .url("https://docs.google.com/document/d/1AbCd")
        .classes({"appsElementsSidekickRoot", "appsElementsSidekickSidePanel"})
        .kids({group({"appsElementsSidekickHeader"}).kids({N("AXHeading").kids({text("Gemini")}), button("New chat"),
                                                           button("Close")}),
               group({"appsElementsSidekickScrollContainer"}).kids({feed}),
               group({"appsElementsSidekickComposer"}).kids({
                   N("AXTextArea").description("Enter a prompt here").classes({"appsElementsSidekickPromptInput"}),
                   button("Submit")})})
        .json();
}

}  // namespace velmar::bench
