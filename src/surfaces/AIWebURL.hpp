#pragma once
// Classifies the address a browser tab (or Claude Desktop's web view) shows:
// which surface the page is and which conversation it holds. Pure functions
// over constant tables. Hosts and path segments are compared exactly and
// case-sensitively; a host that differs from a listed one only by letter case
// is a different host.

#include "surfaces/WebAddress.hpp"

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class AIWebURL {
public:
    struct HostEntry {
        std::string_view host;
        std::string_view surface;
    };
    using Prefix = std::vector<std::string>;
    using PrefixTable = std::map<std::string, std::vector<Prefix>, std::less<>>;

    // The chat apps' hosts, grouped by surface in a fixed order.
    static std::span<const HostEntry> hostTable();
    // The one host serving Google Docs and Sheets; only panelSurface knows it.
    static constexpr std::string_view docsHost = "docs.google.com";

    // Where each surface keeps its conversation id: lists of path segments
    // that come right before it.
    static const PrefixTable& conversationPathPrefixes();
    // The first path segment of a Docs ("document") or Sheets ("spreadsheets") page.
    static std::optional<std::string_view> panelPathSegment(std::string_view surface);

    // The path cut at its first "#", split on "/", empty pieces dropped.
    static std::vector<std::string> segments(std::string_view path);
    static std::optional<std::string> firstSegment(std::string_view path);

    // The surface of a host by the host table alone; absent host gives absent.
    static std::optional<std::string> surface(std::optional<std::string_view> host);
    // The surface of a page: the Claude host's design and cowork areas are
    // surfaces of their own.
    static std::optional<std::string> surface(std::optional<std::string_view> host, std::string_view path);
    // The conversation key in a path: the segment after the rightmost match
    // of one of the surface's prefixes.
    static std::optional<std::string> conversationId(std::string_view path, std::string_view surface);
    // Whether a ChatGPT conversation sits in a project; absent on other
    // surfaces and when the path holds no conversation.
    static std::optional<bool> inProject(std::string_view path, std::string_view surface);
    // "gemini_docs" or "gemini_sheets" for a Docs host page, else absent.
    static std::optional<std::string> panelSurface(std::optional<std::string_view> host, std::string_view path);
    // The document id of a Docs or Sheets page (also in the account-switch
    // form /document/u/N/d/ID), the panel's conversation key.
    static std::optional<std::string> panelConversationId(std::string_view path, std::string_view surface);

    // The same over a parsed address: its host as written and its path with
    // percent escapes decoded (the form the platform's URL type reports).
    static std::optional<std::string> surface(const WebAddress& address);
    static std::optional<std::string> conversationId(const WebAddress& address, std::string_view surface);
    static std::optional<bool> inProject(const WebAddress& address, std::string_view surface);
    static std::optional<std::string> panelSurface(const WebAddress& address);
    static std::optional<std::string> panelConversationId(const WebAddress& address, std::string_view surface);
};

}  // namespace velmar
