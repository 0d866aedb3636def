#pragma once
// A page or endpoint address split into its parts (RFC 3986, via uriparser).
// Every part is kept exactly as written: no case folding, no IDNA mapping, no
// percent-decoding (decodedPath() does that on request). Parsing never throws:
// a text that does not parse gives an address with no parts at all.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

struct WebAddress {
    std::optional<std::string> scheme;    // "https", as written
    std::optional<std::string> userInfo;  // "user:pass", without the "@"
    std::optional<std::string> host;      // non-empty; an IP literal keeps its brackets
    std::optional<std::string> port;      // the digits after ":", non-empty
    std::optional<std::string> path;      // absent only when the text did not parse; may be ""
    std::optional<std::string> query;     // without the "?"
    std::optional<std::string> fragment;  // without the "#"
    bool hasAuthority = false;            // a "//" part was written, even an empty one ("file:///x")

    // Absolute addresses and relative references both parse; the empty text,
    // text with spaces or non-ASCII characters and malformed syntax do not.
    static WebAddress parse(std::string_view text);

    bool parsed() const { return path.has_value(); }

    // True when the scheme equals `lowerName` ignoring ASCII case (schemes are
    // case-insensitive: "HTTPS" is "https").
    bool schemeIs(std::string_view lowerName) const;

    // The port as a number; absent when there is none or it is above 65535.
    std::optional<int> portNumber() const;

    // The path's "/"-separated pieces as written, empty pieces dropped.
    std::vector<std::string> pathSegments() const;

    // The path with percent escapes decoded, ill-formed UTF-8 repaired to U+FFFD;
    // the empty string when the text did not parse.
    std::string decodedPath() const;

    // Rebuilds the address from the parts, so a caller can replace some
    // (say the path, query or fragment) and write it out again. An address
    // that did not parse gives the empty string.
    std::string toString() const;

    bool operator==(const WebAddress&) const = default;
};

}  // namespace velmar
