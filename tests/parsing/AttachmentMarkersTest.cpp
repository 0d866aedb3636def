#include "parsing/AttachmentMarkers.hpp"
#include "parsing/FnvHash.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(AttachmentMarkers, MarkerNamesTheImageUnlessGenerated) {
    struct Case { const char* description; std::optional<std::string> name; std::string marker; };
    const Case cases[] = {
        {"blank", "  ", "[attached image]"},
        {"pasted- prefix", "pasted-3.png", "[pasted image]"},
        {"ten digits", "1712345678_image.png", "[pasted image]"},
        {"nine digits", "123456789_image.png", "[attached image: 123456789_image.png]"},
        {"extension must end the name", "1712345678_image.png.bak", "[attached image: 1712345678_image.png.bak]"},
        {"trimmed", "  cat.jpg\n", "[attached image: cat.jpg]"},
    };
    for (const auto& c : cases) EXPECT_EQ(AttachmentMarkers::marker(c.name), c.marker) << c.description;

    std::string longName;
    for (int i = 0; i < 200; ++i) longName += "\u00E9";  // two bytes each: the cut counts characters
    EXPECT_EQ(AttachmentMarkers::marker(longName), "[attached image: " + longName.substr(0, 256) + "]");
}

TEST(AttachmentMarkers, AppendingAndStripping) {
    using AttachmentMarkers::appending;
    using AttachmentMarkers::stripping;
    EXPECT_EQ(appending("", {"[attached image]"}), "[attached image]");
    EXPECT_EQ(appending("Hi", {"[pasted image]", "[attached image]"}), "Hi\n[pasted image]\n[attached image]");

    EXPECT_EQ(stripping("Hi\n\n  indented\n  [attached image: a.png]  \n[pasted image]"), "Hi\n\n  indented");
    EXPECT_EQ(stripping("see [attached image]"), "see [attached image]");
}

TEST(FnvHash, KnownValuesOverUtf8Bytes) {
    EXPECT_EQ(fnvHash(""), "811c9dc5");
    EXPECT_EQ(fnvHash("abc"), "1a47e90b");
    EXPECT_NE(fnvHash("\u00E9"), fnvHash("e\u0301"));
    // No leading zeros: some input hashes below 0x10000000.
    for (int i = 0; i < 2000; ++i) ASSERT_NE(fnvHash(std::to_string(i)).front(), '0') << i;
}

}  // namespace
}  // namespace velmar
