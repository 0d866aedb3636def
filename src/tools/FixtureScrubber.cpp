#include "tools/FixtureScrubber.hpp"

#include "surfaces/AIWebURL.hpp"
#include "surfaces/WebAddress.hpp"
#include "text/Unicode.hpp"

#include <uriparser/Uri.h>

#include <algorithm>
#include <memory>
#include <optional>

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

// Model names as the chat apps show them, each exactly; versions are single
// digits. An arbitrary letter or number anywhere would let words through.
constexpr std::string_view kClaudeModel =
    "(Claude )?(Fable|Opus|Sonnet|Haiku)( ?[0-9](\\.[0-9])?)?( (High|Medium|Low|Extended))?";
constexpr std::string_view kOpenAIModel =
    "(ChatGPT|GPT-4|GPT-4o|GPT-4o mini|GPT-4\\.1|GPT-4\\.1 mini|GPT-4\\.5|GPT-5|GPT-5 mini|GPT-5 Thinking|"
    "GPT-5 Pro|GPT-5\\.1|o1|o1-pro|o3|o3-pro|o3-mini|o4-mini|o4-mini-high)";
// The glyph a model picker shows after the name.
constexpr std::string_view kPickerGlyph = "( ?[\\u25BE\\u25BC\\u2304\\u02C5\\u23F7])?";
// Counts: ASCII digits only, and few of them, so a number cannot spell text.
constexpr std::string_view kCount = "[0-9]{1,6}";

const std::vector<std::string>& allowedPatterns() {
    static const std::vector<std::string> patterns = [] {
        const std::string n(kCount), claude(kClaudeModel), openAI(kOpenAIModel), glyph(kPickerGlyph);
        return std::vector<std::string>{
            "^Message " + n + " of " + n + "$",
            "^Model: (" + claude + "|" + openAI + ")$",
            "^" + n + " (second|minute|hour|day|week|month|year)s? ago$",
            R"(^[0-9]{1,2}:[0-9]{2}(:[0-9]{2})?\s?(AM|PM|am|pm)?$)",
            "^[Pp]asted( (text|content),?)? " + n + " lines?$",
            R"(^Pasted text \()" + n + R"( lines?\)$)",
            "^" + claude + glyph + "$",
            "^" + openAI + glyph + "$",
            R"(^Open mode picker, currently (Gemini )?([0-9](\.[0-9])? )?(Pro|Flash|Ultra|Nano|Lite|Thinking|Deep Research)( [0-9](\.[0-9])?)?$)",
            "^" + n + " sources?$",
            "^Link to source " + n + "$",
            "^Finished " + n + " steps?$",
            "^Thought for " + n + " seconds?$",
            "^Read " + n + " web pages?$",
            "^" + n + " web pages?$",
            "^(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{1,2}, [0-9]{1,2}:[0-9]{2} ?(AM|PM)$",
            "^(January|February|March|April|May|June|July|August|September|October|November|December) [0-9]{4}$",
        };
    }();
    return patterns;
}

// The pattern list as one alternation: a text matches it exactly when it
// matches one of the patterns, at the cost of one search instead of many.
// Every pattern is anchored at the start; the anchor is hoisted out of the
// alternation so the engine tries the start of the text only.
bool matchesAllowedPattern(const std::string& trimmed) {
    static const text::Regex combined = [] {
        std::string alternatives;
        for (const auto& p : allowedPatterns()) {
            alternatives += alternatives.empty() ? "(?:" : "|(?:";
            alternatives += p.substr(1);
            alternatives += ")";
        }
        return text::Regex("^(?:" + alternatives + ")");
    }();
    return combined.search(trimmed);
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

// Tag characters (U+E0020–U+E007F) mirror ASCII invisibly, so inside a kept
// cluster (a subdivision flag) they are masked like the letters they mirror.
bool isTag(char32_t c) { return c >= 0xE0020 && c <= 0xE007F; }

char32_t maskTag(char32_t c) {
    const char32_t ascii = c - 0xE0000;
    if (ascii >= '0' && ascii <= '9') return 0xE0000 + '0';
    if (ascii >= 'A' && ascii <= 'Z') return 0xE0000 + 'X';
    if (ascii >= 'a' && ascii <= 'z') return 0xE0000 + 'x';
    return c;
}

// Masks one grapheme cluster, decided by all of its scalars: a prepended
// mark or an icon glyph in front of a digit or letter must not carry that
// digit or letter through.
void maskCluster(std::string_view cluster, std::string& out) {
    if (cluster.size() == 1) {  // ASCII: the common case, without decoding
        const char c = cluster[0];
        out.push_back(c >= '0' && c <= '9' ? '0' : c >= 'A' && c <= 'Z' ? 'X' : c >= 'a' && c <= 'z' ? 'x' : c);
        return;
    }
    auto scalars = text::toUtf32(cluster);
    Shape shape = Shape::other;
    bool tags = false;
    for (char32_t c : scalars) {
        combine(shape, shapeOf(c));
        tags = tags || isTag(c);
    }
    switch (shape) {
        case Shape::number: out.push_back('0'); break;
        case Shape::upper: out.push_back('X'); break;
        case Shape::lower: out.push_back('x'); break;
        case Shape::other:
            // Emoji, punctuation, symbols and icon glyphs carry no words.
            if (!tags) {
                out.append(cluster);
                break;
            }
            for (char32_t& c : scalars) {
                if (isTag(c)) c = maskTag(c);
            }
            out += text::fromUtf32(scalars);
            break;
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

namespace {

// Whether byte `at` of valid UTF-8 text starts a character (grapheme
// cluster) or ends the text.
bool isClusterBoundary(const std::string& textValue, std::size_t at) {
    // Between two ASCII bytes there is always a boundary (but inside CR LF,
    // which no prefix ends in).
    if (at == 0 || at >= textValue.size() || isAscii(std::string_view(textValue).substr(at - 1, 2))) return true;
    bool boundary = false;
    text::forEachGrapheme(textValue, [&](std::string_view cluster) {
        boundary = boundary || static_cast<std::size_t>(cluster.data() - textValue.data()) == at;
    });
    return boundary;
}

}  // namespace

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
        // A text begins with the prefix only when its last character is
        // whole: "You said:" with a mark joined to the colon does not.
        if (!isClusterBoundary(input, keep)) continue;
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

std::optional<std::string> scrubHost(std::string_view host) {
    // The longest known host the address is, or is a subdomain of; a
    // subdomain a user chose (a team or project name) is not kept.
    std::string_view best;
    auto consider = [&](std::string_view known) {
        const bool same = host == known;
        const bool below = host.size() > known.size() && host.ends_with(known) &&
                           host[host.size() - known.size() - 1] == '.';
        if ((same || below) && known.size() > best.size()) best = known;
    };
    for (const auto& entry : AIWebURL::hostTable()) consider(entry.host);
    consider(AIWebURL::docsHost);
    if (!best.empty()) return std::string(best);
    // A plain name masks into a plain name; an address literal or escapes
    // would not stay well-formed.
    const bool plain = !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
    });
    if (plain) return mask(host);
    return std::nullopt;
}

namespace {

// The address reduced to its scrubbed structure; absent when the text is not
// an absolute address or its host cannot be kept in any form.
std::optional<std::string> scrubStructure(const std::string& input) {
    const auto parsed = WebAddress::parse(input);
    if (!parsed.parsed() || !parsed.scheme || parsed.scheme->empty() || !parsed.host) return std::nullopt;
    const auto host = scrubHost(*parsed.host);
    if (!host) return std::nullopt;
    const bool web = *parsed.scheme == "https" || *parsed.scheme == "http";
    std::string out = (web ? *parsed.scheme : mask(*parsed.scheme)) + "://" + *host;
    for (const auto& segment : parsed.pathSegments()) {
        // An escaped NUL ends the decoded segment; a segment left empty is
        // dropped, as parsing the result again would drop it.
        const std::string kept =
            segment.find('%') == std::string::npos ? scrubPathSegment(segment) : scrubEscapedPathSegment(segment);
        if (kept.empty()) continue;
        out += '/';
        out += kept;
    }
    return out;
}

}  // namespace

std::string scrubURL(std::string_view address) {
    const std::string input = text::repairUtf8(address);
    if (auto kept = scrubStructure(input)) return *kept;
    // Otherwise masked whole. A masked text may read as an address where the
    // original did not (a letter with a mark became "x"): that is reduced the
    // same way, so scrubbing the result again changes nothing.
    const std::string masked = mask(input);
    return scrubStructure(masked).value_or(masked);
}

}  // namespace velmar::FixtureScrubber
