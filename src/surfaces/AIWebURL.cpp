#include "surfaces/AIWebURL.hpp"

#include "surfaces/SurfaceTraits.hpp"

#include <array>

namespace velmar {

namespace {

using K = SurfaceKey;

constexpr std::array<AIWebURL::HostEntry, 11> kHosts{{
    {"claude.ai", K::claudeAI},
    {"www.claude.ai", K::claudeAI},
    {"claude.com", K::claudeAI},
    {"www.claude.com", K::claudeAI},
    {"chatgpt.com", K::chatgpt},
    {"www.chatgpt.com", K::chatgpt},
    {"chat.openai.com", K::chatgpt},
    {"gemini.google.com", K::gemini},
    {"perplexity.ai", K::perplexity},
    {"www.perplexity.ai", K::perplexity},
    {"chat.deepseek.com", K::deepseek},
}};

bool isDecimalInteger(std::string_view s) {
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
    if (s.empty()) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

std::span<const AIWebURL::HostEntry> AIWebURL::hostTable() { return kHosts; }

const AIWebURL::PrefixTable& AIWebURL::conversationPathPrefixes() {
    static const PrefixTable table{
        {std::string(K::claudeAI), {{"chat"}}},
        {std::string(K::chatgpt), {{"c"}, {"uc"}}},
        {std::string(K::claudeDesign), {{"design", "p"}}},
        {std::string(K::claudeCodeDesktop), {{"epitaxy"}}},
        {std::string(K::claudeCowork), {{"cowork"}}},
        {std::string(K::gemini), {{"app"}}},
        {std::string(K::perplexity), {{"search"}}},
        {std::string(K::deepseek), {{"a", "chat", "s"}}},
    };
    return table;
}

std::optional<std::string_view> AIWebURL::panelPathSegment(std::string_view surface) {
    if (surface == K::geminiDocs) return "document";
    if (surface == K::geminiSheets) return "spreadsheets";
    return std::nullopt;
}

std::vector<std::string> AIWebURL::segments(std::string_view path) {
    path = path.substr(0, path.find('#'));
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) slash = path.size();
        if (slash > start) out.emplace_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return out;
}

std::optional<std::string> AIWebURL::firstSegment(std::string_view path) {
    auto segs = segments(path);
    if (segs.empty()) return std::nullopt;
    return std::move(segs.front());
}

std::optional<std::string> AIWebURL::surface(std::optional<std::string_view> host) {
    if (!host) return std::nullopt;
    for (const auto& entry : kHosts) {
        if (entry.host == *host) return std::string(entry.surface);
    }
    return std::nullopt;
}

std::optional<std::string> AIWebURL::surface(std::optional<std::string_view> host, std::string_view path) {
    auto bySurface = surface(host);
    if (bySurface != K::claudeAI) return bySurface;
    auto first = firstSegment(path);
    if (first == "design") return std::string(K::claudeDesign);
    if (first == "cowork") return std::string(K::claudeCowork);
    return bySurface;
}

std::optional<std::string> AIWebURL::conversationId(std::string_view path, std::string_view surface) {
    const auto& table = conversationPathPrefixes();
    auto prefixes = table.find(surface);
    if (prefixes == table.end()) return std::nullopt;

    auto segs = segments(path);
    const std::size_t n = segs.size();
    // The rightmost match wins across all prefixes, so a path that repeats a
    // prefix (/c/x/c/y) or nests one deep (/g/project/c/id) gives the last id.
    std::optional<std::size_t> bestStart;
    std::size_t bestLength = 0;
    for (const auto& prefix : prefixes->second) {
        const std::size_t c = prefix.size();
        if (c == 0 || c >= n) continue;
        for (std::size_t start = n - c; start-- > 0;) {
            if (bestStart && start <= *bestStart) break;  // an earlier prefix already won this far right
            if (std::equal(prefix.begin(), prefix.end(), segs.begin() + static_cast<std::ptrdiff_t>(start))) {
                bestStart = start;
                bestLength = c;
                break;
            }
        }
    }
    if (!bestStart) return std::nullopt;

    std::string key = segs[*bestStart + bestLength];
    if (key.empty()) return std::nullopt;
    // Placeholders the apps show before a conversation has a real id.
    if (surface == K::chatgpt && key.starts_with("WEB:")) return std::nullopt;
    if (surface == K::perplexity && key == "new") return std::nullopt;
    return key;
}

std::optional<bool> AIWebURL::inProject(std::string_view path, std::string_view surface) {
    if (surface != K::chatgpt) return std::nullopt;
    if (!conversationId(path, surface)) return std::nullopt;
    for (const auto& seg : segments(path)) {
        if (seg.starts_with("g-p-")) return true;
    }
    return false;
}

std::optional<std::string> AIWebURL::panelSurface(std::optional<std::string_view> host, std::string_view path) {
    if (host != docsHost) return std::nullopt;
    auto first = firstSegment(path);
    if (first == "document") return std::string(K::geminiDocs);
    if (first == "spreadsheets") return std::string(K::geminiSheets);
    return std::nullopt;
}

std::optional<std::string> AIWebURL::panelConversationId(std::string_view path, std::string_view surface) {
    auto panelSegment = panelPathSegment(surface);
    if (!panelSegment) return std::nullopt;
    auto segs = segments(path);
    if (segs.empty() || segs.front() != *panelSegment) return std::nullopt;
    // Signed in to several accounts, the page lives under /u/N/ first.
    if (segs.size() >= 4 && segs[1] == "u" && isDecimalInteger(segs[2])) {
        segs.erase(segs.begin() + 1, segs.begin() + 3);
    }
    if (segs.size() < 3 || segs[1] != "d" || segs[2].empty()) return std::nullopt;
    return segs[2];
}

std::optional<std::string> AIWebURL::surface(const WebAddress& address) {
    return surface(address.host, address.decodedPath());
}

std::optional<std::string> AIWebURL::conversationId(const WebAddress& address, std::string_view surface) {
    return conversationId(address.decodedPath(), surface);
}

std::optional<bool> AIWebURL::inProject(const WebAddress& address, std::string_view surface) {
    return inProject(address.decodedPath(), surface);
}

std::optional<std::string> AIWebURL::panelSurface(const WebAddress& address) {
    return panelSurface(address.host, address.decodedPath());
}

std::optional<std::string> AIWebURL::panelConversationId(const WebAddress& address, std::string_view surface) {
    return panelConversationId(address.decodedPath(), surface);
}

}  // namespace velmar
