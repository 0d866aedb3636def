#include "capture/PasteboardCapture.hpp"

#include "platform/sim/SimClipboard.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

// 60 characters once normalised.
const std::string kPreview = "The quick brown fox jumps over the lazy dog and keeps going.";

std::string twelveLines(const std::string& first = "The quick brown fox jumps\nover the lazy dog") {
    std::string s = first + " and keeps going. Beyond the preview";
    for (int i = 2; i <= 11; ++i) s += "\nline " + std::to_string(i);  // first text has one break: 12 lines
    return s;
}

class PasteboardCaptureTest : public ::testing::Test {
protected:
    void SetUp() override { PasteboardCapture::resetForTesting(); }
    void TearDown() override { PasteboardCapture::resetForTesting(); }
    sim::SimClipboard clipboard;
};

TEST_F(PasteboardCaptureTest, Verify) {
    struct Case {
        const char* description;
        std::string clipboard;
        std::string preview;
        int lines;
        bool expected;
    };
    const std::string body = twelveLines();
    const std::string preview39 = "abcdefghij abcdefghij abcdefghij abcdef";  // 39 characters
    const Case cases[] = {
        {"matching count and prefix, breaks differ", body, kPreview, 12, true},
        {"one trailing newline is not a line", body + "\n", kPreview, 12, true},
        {"two trailing newlines make a 13th line", body + "\n\n", kPreview, 12, false},
        {"wrong line count", body, kPreview, 11, false},
        {"preview with ellipsis continues in the clipboard", body, "The quick brown fox jumps over the lazy dog and\u2026",
         12, true},
        {"39-character preview never matches", preview39 + "g and more", preview39, 1, false},
        {"40-character preview matches", preview39 + "g and more", preview39 + "g", 1, true},
        {"characters are graphemes, not bytes", std::string(40, 'e') + "\u0301 tail",
         "e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301"
         "e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301",
         1, false},
        {"preview text not at the start", "xx " + body, kPreview, 12, false},
        {"empty clipboard", "", kPreview, 1, false},
        {"zero lines", body, kPreview, 0, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PasteboardCapture::verify(c.clipboard, c.preview, c.lines), c.expected) << c.description;
    }
}

TEST_F(PasteboardCaptureTest, MatchIsCachedAndOutlivesTheClipboard) {
    clipboard.setText(twelveLines());
    EXPECT_EQ(PasteboardCapture::resolveBody(&clipboard, 12, kPreview), twelveLines());
    clipboard.setText("something else entirely");
    EXPECT_EQ(PasteboardCapture::resolveBody(&clipboard, 12, "  " + kPreview + "\n"), twelveLines())
        << "same chip after whitespace normalisation";
    EXPECT_EQ(clipboard.reads(), 1u) << "a cached chip must not touch the clipboard";
}

TEST_F(PasteboardCaptureTest, FailedMatchIsNotCached) {
    clipboard.setText("unrelated");
    EXPECT_EQ(PasteboardCapture::resolveBody(&clipboard, 12, kPreview), std::nullopt);
    clipboard.setText(twelveLines());
    EXPECT_EQ(PasteboardCapture::resolveBody(&clipboard, 12, kPreview), twelveLines());
}

TEST_F(PasteboardCaptureTest, CacheKeepsTheEightNewestChips) {
    auto bodyFor = [](int i) {
        return "Chip number " + std::to_string(i) + " carries a long enough preview for matching.";
    };
    for (int i = 1; i <= 9; ++i) {
        clipboard.setText(bodyFor(i));
        ASSERT_TRUE(PasteboardCapture::resolveBody(&clipboard, 1, bodyFor(i))) << i;
    }
    clipboard.clear();
    EXPECT_EQ(PasteboardCapture::resolveBody(&clipboard, 1, bodyFor(1)), std::nullopt);
    for (int i = 2; i <= 9; ++i) EXPECT_EQ(PasteboardCapture::resolveBody(&clipboard, 1, bodyFor(i)), bodyFor(i)) << i;
}

TEST_F(PasteboardCaptureTest, DeniedAccessStillServesTheCache) {
    clipboard.setText(twelveLines());
    ASSERT_TRUE(PasteboardCapture::resolveBody(&clipboard, 12, kPreview));
    clipboard.setAccessDenied(true);
    const std::string other = "Another paste whose preview is also long enough to count.";
    clipboard.setText(other);
    const auto readsBefore = clipboard.reads();
    EXPECT_EQ(PasteboardCapture::resolveBody(&clipboard, 12, kPreview), twelveLines());
    EXPECT_EQ(PasteboardCapture::resolveBody(&clipboard, 1, other), std::nullopt);
    EXPECT_EQ(clipboard.reads(), readsBefore) << "denied access must not read";
    EXPECT_EQ(PasteboardCapture::resolveBody(nullptr, 12, kPreview), twelveLines()) << "no clipboard: cache only";
    EXPECT_EQ(PasteboardCapture::resolveBody(nullptr, 1, other), std::nullopt);
}

TEST_F(PasteboardCaptureTest, InvalidUtf8IsRepairedBeforeCaching) {
    const std::string raw = "A pasted body long enough to be verified \xFF against its preview";
    clipboard.setText(raw);
    auto body = PasteboardCapture::resolveBody(&clipboard, 1, "A pasted body long enough to be verified");
    EXPECT_EQ(body, "A pasted body long enough to be verified \uFFFD against its preview");
}

}  // namespace
}  // namespace velmar
