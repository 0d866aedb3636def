#include "surfaces/WebAddress.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using Opt = std::optional<std::string>;
const Opt none;

TEST(WebAddress, SplitsIntoPartsAsWrittenAndRebuilds) {
    struct Case {
        const char* description;
        std::string text;
        Opt scheme, userInfo, host, port, path, query, fragment;
        const char* rebuilt = nullptr;  // when it differs from the text
    };
    const Case cases[] = {
        {"every part, host case kept", "https://u:p@Claude.AI:8443/chat/Ab%20c?q=1&r=/x#frag/y",
         "https", "u:p", "Claude.AI", "8443", "/chat/Ab%20c", "q=1&r=/x", "frag/y"},
        {"no path at all", "https://claude.ai", "https", none, "claude.ai", none, "", none, none},
        {"fragment straight after host", "https://h#/c/1", "https", none, "h", none, "", none, "/c/1"},
        {"empty query and fragment are present", "https://h/a?#", "https", none, "h", none, "/a", "", ""},
        {"repeated slashes kept in the path", "https://h//a//", "https", none, "h", none, "//a//", none, none},
        {"IP literal keeps its brackets", "http://[::1]:8000/x", "http", none, "[::1]", "8000", "/x", none, none},
        {"empty port is no port", "http://a:/x", "http", none, "a", none, "/x", none, none, "http://a/x"},
        {"file address has no host", "file:///tmp/x", "file", none, none, none, "/tmp/x", none, none},
        {"relative reference", "/chat/x?y", none, none, none, none, "/chat/x", "y", none},
    };
    for (const auto& c : cases) {
        auto a = WebAddress::parse(c.text);
        EXPECT_EQ((std::vector<Opt>{a.scheme, a.userInfo, a.host, a.port, a.path, a.query, a.fragment}),
                  (std::vector<Opt>{c.scheme, c.userInfo, c.host, c.port, c.path, c.query, c.fragment}))
            << c.description;
        EXPECT_EQ(a.toString(), c.rebuilt ? c.rebuilt : c.text) << c.description << ": rebuilds";
    }

    auto bare = WebAddress::parse("https://h");
    bare.path = "c/1";  // a relative path after an authority would merge into the host
    EXPECT_EQ(bare.toString(), "https://h/c/1");
}

TEST(WebAddress, TextThatDoesNotParseHasNoParts) {
    struct Case { const char* description; std::string text; };
    const Case cases[] = {
        {"empty", ""},
        {"space in host", "http://a b/"},
        {"non-ASCII host is not mapped", "https://b\u00FCcher.de/"},
        {"bad percent escape", "https://h/%zz"},
        {"embedded NUL", std::string("https://h/\0x", 12)},
    };
    for (const auto& c : cases) {
        WebAddress a;
        EXPECT_NO_THROW(a = WebAddress::parse(c.text)) << c.description;
        EXPECT_EQ(a, WebAddress{}) << c.description;
        EXPECT_EQ(a.toString(), "") << c.description;
        EXPECT_EQ(a.decodedPath(), "") << c.description;
    }
}

TEST(WebAddress, DecodedPathAndHelpers) {
    struct Case { const char* description; std::string text; std::string decoded; };
    const Case cases[] = {
        {"escaped slash and hash", "https://h/a%2Fb%23c", "/a/b#c"},
        {"escaped UTF-8", "https://h/%C3%A9", "/\u00E9"},
        {"broken UTF-8 repaired", "https://h/%E2%82x", "/\uFFFDx"},
        {"query not part of the path", "https://h/a?b=%20", "/a"},
    };
    for (const auto& c : cases) EXPECT_EQ(WebAddress::parse(c.text).decodedPath(), c.decoded) << c.description;

    EXPECT_TRUE(WebAddress::parse("HTTPS://h/").schemeIs("https"));
    EXPECT_EQ(WebAddress::parse("http://h:65535/").portNumber(), 65535);
    EXPECT_EQ(WebAddress::parse("http://h:65536/").portNumber(), std::nullopt);
    EXPECT_EQ(WebAddress::parse("https://h//a/b//c/").pathSegments(), (std::vector<std::string>{"a", "b", "c"}));
}

}  // namespace
}  // namespace velmar
