#include "tools/FixtureScrubber.hpp"

#include "surfaces/WebAddress.hpp"
#include "text/Unicode.hpp"

#include <uriparser/Uri.h>

#include <algorithm>
#include <memory>

namespace velmar::FixtureScrubber {

const std::set<std::string, std::less<>>& exactAllowlist() {
    static const std::set<std::string, std::less<>> table = {
        "Chat messages", "Claude finished the response", "Stop answering", "Message collapsed", "PASTED",
        "Interactive artifact", "Response stopped", "Your message actions", "Response actions", "just now", "Just now", "Today",
        "Yesterday", "yesterday", "Thought process", "Retry", "Copy", "Edit", "New chat", "Gemini said",
        "You said", "Good response", "Bad response", "Copy prompt", "Show more options", "Stop response",
        "Gemini response", "More options", "Accept all", "Reject all", "Ask Gemini", "Model thoughts", "Insert",
        "Copy query", "Edit query", "Share", "Fork", "Helpful", "Not helpful", "More actions", "Model", "Sources",
        "Ask a follow-up", "Ask anything\u2026", "Answer", "DeepThink", "Search", "Message DeepSeek", "Instant",
        "Expert", "Vision", "Copy message", "Edit message", "Regenerate response", "Rate response", "Stop", "Send",
        "Dictate", "Select ChatGPT model", "Message ChatGPT",
    };
    return table;
}

namespace {

const std::vector<std::string>& allowedPatterns() {
    static const std::vector<std::string> patterns = {
        R"(^Message \d+ of \d+$)",
        R"(^Model: .{0,60}$)",
        R"(^\d+ (second|minute|hour|day|week|month|year)s? ago$)",
        R"(^\d{1,2}:\d{2}(:\d{2})?\s?(AM|PM|am|pm)?$)",
        R"(^.{0,40}\bpasted\b.{0,10}?\d+\s+lines?\s*$)",
        R"(^Pasted text \(\d+ lines?\)$)",
        R"(^(Claude )?(Fable|Opus|Sonnet|Haiku)( ?\d(\.\d)?)?( (High|Medium|Low|Extended))?( ?[^A-Za-z0-9\s])?$)",
        R"(^(Chat)?GPT(-?\d+(\.\d+)?[a-z]?)?( ?[^A-Za-z0-9\s])?$)",
        R"(^o\d( ?[^A-Za-z0-9\s])?$)",
        R"(^Open mode picker, currently (Gemini )?(\d(\.\d)? )?(Pro|Flash|Ultra|Nano|Lite|Thinking|Deep Research)( \d(\.\d)?)?$)",
        R"(^\d+ sources?$)",
        R"(^Link to source \d+$)",
        R"(^Finished \d+ steps?$)",
        R"(^Thought for \d+ seconds?$)",
        R"(^Read \d+ web pages?$)",
        R"(^\d+ web pages?$)",
        R"(^[A-Z][a-z]{2} \d{1,2}, \d{1,2}:\d{2} ?(AM|PM)$)",
        R"(^(January|February|March|April|May|June|July|August|September|October|November|December) \d{4}$)",
    };
    return patterns;
}

// The pattern that needs the word "pasted" is the slow one (a run of any
// characters before a word boundary) and most texts lack the word, so it is
// tried only when the word is there.
constexpr std::string_view kPastedWord = "pasted";

bool needsPastedWord(const std::string& pattern) { return pattern.find("\\bpasted\\b") != std::string::npos; }

// A pattern list as one alternation: a text matches it exactly when it
// matches one of the patterns, at the cost of one search instead of many.
// Every pattern is anchored at the start; the anchor is hoisted out of the
// alternation so the engine tries the start of the text only.
text::Regex alternation(bool pastedWord) {
    std::string alternatives;
    for (const auto& p : allowedPatterns()) {
        if (needsPastedWord(p) != pastedWord) continue;
        alternatives += alternatives.empty() ? "(?:" : "|(?:";
        alternatives += p.starts_with('^') ? p.substr(1) : "[\\s\\S]*?" + p;
        alternatives += ")";
    }
    return text::Regex("^(?:" + alternatives + ")");
}

bool matchesAllowedPattern(const std::string& trimmed) {
    static const text::Regex common = alternation(false);
    static const text::Regex withPastedWord = alternation(true);
    if (common.search(trimmed)) return true;
    return trimmed.find(kPastedWord) != std::string::npos && withPastedWord.search(trimmed);
}

}  // namespace

const std::vector<text::Regex>& regexAllowlist() {
    // A pattern that does not compile is a programming error: the throw from
    // the first use is not meant to be caught.
    static const std::vector<text::Regex> table = [] {
        std::vector<text::Regex> compiled;
        compiled.reserve(allowedPatterns().size());
        for (const auto& p : allowedPatterns()) compiled.emplace_back(p);
        return compiled;
    }();
    return table;
}

const std::vector<std::string>& keptPrefixes() {
    static const std::vector<std::string> table = {
        "You said:", "You said ", "Claude responded:", "ChatGPT said:", "Project: ", "View ", "<system-info",
        "<pasted_text", "[pasted text:", "Listed files in project", "Listing files", "Verifier agent check completed",
        "Editing ", "Searching for ", "Processing project files", "Updated todos", "Claude has some questions",
    };
    return table;
}

const std::set<std::string, std::less<>>& keptPathSegments() {
    static const std::set<std::string, std::less<>> table = {
        "chat", "c", "design", "p", "cowork", "epitaxy", "new", "project", "g", "code", "recents", "settings",
        "app", "document", "spreadsheets", "d", "edit", "u", "search", "a", "s", "library", "discover",
    };
    return table;
}

namespace {

enum class Shape { other, lower, upper, number };

// A number anywhere wins; otherwise the first letter decides the case.
void combine(Shape& into, Shape next) {
    if (next == Shape::number) into = Shape::number;
    else if (next != Shape::other && into == Shape::other) into = next;
}

Shape plainShape(char32_t c) {
    if (text::isNumber(c)) return Shape::number;
    if (text::isLetter(c)) return text::isUpper(c) ? Shape::upper : Shape::lower;
    return Shape::other;
}

Shape shapeOf(char32_t c) {
    if (auto shape = plainShape(c); shape != Shape::other) return shape;
    // A symbol whose compatibility form spells letters or digits (™, ⒜, ㎏)
    // spells them here too.
    Shape shape = Shape::other;
    for (char32_t d : text::compatibilityForm(c)) combine(shape, plainShape(d));
    return shape;
}

// Masks one grapheme cluster. The whole cluster is examined, not only its
// first scalar: a prepended mark or sign in front of a digit or letter must
// not carry that digit or letter through.
void maskCluster(std::string_view cluster, std::string& out) {
    if (cluster.size() == 1) {  // ASCII: the common case, without decoding
        const char c = cluster[0];
        out.push_back(c >= '0' && c <= '9' ? '0' : c >= 'A' && c <= 'Z' ? 'X' : c >= 'a' && c <= 'z' ? 'x' : c);
        return;
    }
    const auto scalars = text::toUtf32(cluster);
    if (!scalars.empty() && text::isPrivateUse(scalars.front())) {
        out.append(cluster);  // icon glyphs carry no words
        return;
    }
    Shape shape = Shape::other;
    for (char32_t c : scalars) combine(shape, shapeOf(c));
    switch (shape) {
        case Shape::number: out.push_back('0'); break;
        case Shape::upper: out.push_back('X'); break;
        case Shape::lower: out.push_back('x'); break;
        case Shape::other: out.append(cluster); break;
    }
}

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Every ASCII character is its own cluster except CR LF, which is neither a
// letter nor a digit, so byte by byte gives the same result as clusters.
std::string maskAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= '0' && c <= '9') c = '0';
        else if (c >= 'A' && c <= 'Z') c = 'X';
        else if (c >= 'a' && c <= 'z') c = 'x';
    }
    return out;
}

std::string maskClusters(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    text::forEachGrapheme(s, [&](std::string_view cluster) { maskCluster(cluster, out); });
    return out;
}

}  // namespace

std::string mask(std::string_view text) {
    if (isAscii(text)) return maskAscii(text);
    return maskClusters(text);
}

std::string scrub(std::string_view raw) {
    if (raw.empty()) return {};
    const std::string input = text::repairUtf8(raw);
    const std::string trimmed = text::trim(input);
    if (exactAllowlist().count(trimmed)) return input;
    if (matchesAllowedPattern(trimmed)) return input;
    for (const auto& prefix : keptPrefixes()) {
        if (!trimmed.starts_with(prefix)) continue;
        const auto at = input.find(prefix);
        if (at == std::string::npos) return mask(input);
        const auto keep = at + prefix.size();
        return input.substr(0, keep) + mask(std::string_view(input).substr(keep));
    }
    return mask(input);
}

namespace {

std::string scrubPathSegment(const std::string& segment) {
    static const text::Regex uuid("^[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}$");
    if (keptPathSegments().count(segment)) return segment;
    if (uuid.search(segment)) return "00000000-0000-0000-0000-000000000000";
    for (const char* prefix : {"g-p-", "cse_", "local_"}) {
        if (segment.starts_with(prefix)) {
            return prefix + mask(std::string_view(segment).substr(std::char_traits<char>::length(prefix)));
        }
    }
    return mask(segment);
}

// Masking the escapes themselves would leave "%X0" behind, which no longer
// parses as an address; scrub what the segment says and escape it again.
std::string scrubEscapedPathSegment(const std::string& segment) {
    std::string decoded = segment;
    const char* end = uriUnescapeInPlaceExA(decoded.data(), URI_FALSE, URI_BR_DONT_TOUCH);
    decoded.resize(static_cast<std::size_t>(end - decoded.data()));
    const std::string scrubbed = scrubPathSegment(text::repairUtf8(decoded));
    std::string escaped(scrubbed.size() * 3 + 1, '\0');
    const char* escapedEnd = uriEscapeExA(scrubbed.data(), scrubbed.data() + scrubbed.size(), escaped.data(),
                                          URI_FALSE, URI_FALSE);
    escaped.resize(static_cast<std::size_t>(escapedEnd - escaped.data()));
    return escaped;
}

}  // namespace

std::string scrubURL(std::string_view address) {
    const std::string input = text::repairUtf8(address);
    const auto parsed = WebAddress::parse(input);
    if (!parsed.parsed() || !parsed.scheme || parsed.scheme->empty() || !parsed.host) return mask(input);
    std::string out = *parsed.scheme + "://" + *parsed.host;
    for (const auto& segment : parsed.pathSegments()) {
        out += '/';
        out += segment.find('%') == std::string::npos ? scrubPathSegment(segment) : scrubEscapedPathSegment(segment);
    }
    return out;
}

}  // namespace velmar::FixtureScrubber
