#include "capture/PasteboardCapture.hpp"

#include "platform/sim/SimClipboard.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

// 60 characters once normalised; the body breaks its lines elsewhere and has 12 of them.
const std::string kPreview = "The quick brown fox jumps over the lazy dog and keeps going.";
const std::string kBody = [] {
    std::string s = "The quick brown fox jumps\nover the lazy dog and keeps going. Beyond the preview";
    for (int i = 2; i <= 11; ++i) s += "\nline " + std::to_string(i);
    return s;
}();

TEST(PasteboardCaptureTest, AChipMatchesAClipboardOfItsLineCountStartingWithItsPreview) {
    const std::string preview39 = "abcdefghij abcdefghij abcdefghij abcdef";
    std::string combining;
    for (int i = 0; i < 20; ++i) combining += "e\u0301";
    const std::tuple<const char*, std::string, std::string, int, bool> cases[] = {
        // description, clipboard, preview, lines, matches
        {"matching count and prefix, breaks differ", kBody, kPreview, 12, true},
        {"one trailing newline is not a line", kBody + "\n", kPreview, 12, true},
        {"two trailing newlines make a 13th line", kBody + "\n\n", kPreview, 12, false},
        {"wrong line count", kBody, kPreview, 11, false},
        {"preview with ellipsis continues in the clipboard", kBody, kPreview.substr(0, 47) + "\u2026", 12, true},
        {"39-character preview never matches", preview39 + "g and more", preview39, 1, false},
        {"40-character preview matches", preview39 + "g and more", preview39 + "g", 1, true},
        {"characters are graphemes, not bytes", std::string(40, 'e') + "\u0301 tail", combining, 1, false},
        {"preview text not at the start", "xx " + kBody, kPreview, 12, false},
    };
    for (const auto& [description, text, preview, lines, matches] : cases) {
        EXPECT_EQ(PasteboardCapture::verify(text, preview, lines), matches) << description;
    }
}

TEST(PasteboardCaptureTest, OnlyMatchesAreCachedTheEightNewestAndACachedChipOrDeniedAccessReadsNothing) {
    sim::SimClipboard clipboard;
    PasteboardCapture pastes{&clipboard};
    clipboard.setText("unrelated");
    EXPECT_EQ(pastes.resolveBody(12, kPreview), std::nullopt);
    clipboard.setText(kBody + "\xFF");
    EXPECT_EQ(pastes.resolveBody(12, kPreview), kBody + "\uFFFD");
    clipboard.setText("Another paste whose preview is also long enough to count.");
    const auto reads = clipboard.reads();
    EXPECT_EQ(pastes.resolveBody(12, "  " + kPreview + "\n"), kBody + "\uFFFD")
        << "same chip after whitespace normalisation";
    EXPECT_EQ(PasteboardCapture(nullptr).resolveBody(12, kPreview), std::nullopt) << "another session's cache is its own";
    clipboard.setAccessDenied(true);
    EXPECT_EQ(pastes.resolveBody(1, "Another paste whose preview is also long enough to count."), std::nullopt);
    EXPECT_EQ(clipboard.reads(), reads);
    clipboard.setAccessDenied(false);

    // The cache keeps the eight newest chips.
    auto bodyFor = [](int i) { return "Chip number " + std::to_string(i) + " carries a long enough preview."; };
    for (int i = 1; i <= 9; ++i) {
        clipboard.setText(bodyFor(i));
        ASSERT_TRUE(pastes.resolveBody(1, bodyFor(i))) << i;
    }
    clipboard.clear();
    EXPECT_EQ(pastes.resolveBody(1, bodyFor(1)), std::nullopt);
    for (int i = 2; i <= 9; ++i) EXPECT_EQ(pastes.resolveBody(1, bodyFor(i)), bodyFor(i)) << i;
}

}  // namespace
}  // namespace velmar
