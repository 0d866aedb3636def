#pragma once
// A compiled ICU regular expression over UTF-8 text. Compile constant patterns
// once (a function-local static) and reuse them; matching is const and cheap.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::text {

class Regex {
public:
    enum Flags : uint32_t {
        None = 0,
        CaseInsensitive = 1u << 0,
        Multiline = 1u << 1,
        DotAll = 1u << 2,
    };

    struct Match {
        std::size_t begin = 0;  // byte offsets of the whole match in the searched text
        std::size_t end = 0;
        std::vector<std::optional<std::string>> groups;  // [0] is the whole match

        const std::optional<std::string>& group(std::size_t i) const { return groups.at(i); }
        // Group i as a number: absent unless it matched ASCII digits that fit
        // an int (\d also matches other scripts' digits).
        std::optional<int> groupNumber(std::size_t i) const;
    };

    // Throws std::invalid_argument when the pattern does not compile.
    explicit Regex(std::string_view pattern, uint32_t flags = None);
    ~Regex();
    Regex(Regex&&) noexcept;
    Regex& operator=(Regex&&) noexcept;
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;

    // Matches anywhere in the text.
    bool search(std::string_view text) const;
    // The whole text must match.
    bool matchesWhole(std::string_view text) const;
    std::optional<Match> firstMatch(std::string_view text) const;
    std::vector<Match> allMatches(std::string_view text) const;
    // ICU replacement syntax ($1 for a group).
    std::string replaceAll(std::string_view text, std::string_view replacement) const;

    const std::string& pattern() const { return pattern_; }

private:
    std::string pattern_;
    struct Compiled;  // keeps ICU out of this header
    std::unique_ptr<Compiled> compiled_;
};

}  // namespace velmar::text
