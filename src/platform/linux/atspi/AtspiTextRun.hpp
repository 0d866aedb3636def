#pragma once
// A run of text that a browser folds into its container's own text rather
// than giving it an accessible of its own. Firefox (Gecko) exposes a
// paragraph as one accessible whose text holds the words, with an object
// replacement character (U+FFFC) where each child element (a link, an
// emphasis, an image) sits; Chromium gives each run a text leaf. Made into
// text leaves, the runs read like Chromium's tree, so every parser and the
// text layer read both browsers alike.

#include "platform/AccessibilityElement.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace velmar::linux_backend {

class AtspiTextRun final : public PlatformElement {
public:
    // A list item's bullet or number ("• ", "1. ") is its marker, as
    // Chromium gives it; any other run is a text leaf.
    enum class Kind { text, listMarker };

    AtspiTextRun(AXElementRef parent, std::size_t index, std::string text, Kind kind);

    // The children a container reads as: its real children at its embedded
    // object characters, in order, and each run of text between them a text
    // leaf (each line break a leaf of its own); a list item's leading marker
    // is a marker. A text with nothing
    // but embedded objects leaves the children as they are. Children the
    // text has no character for follow at the end; characters without a
    // child are dropped.
    static std::vector<AXElementRef> interleave(const AXElementRef& parent, std::string_view text,
                                                std::vector<AXElementRef> children, bool isListItem);
    // The length of a list item's leading marker in its text: a bullet or a
    // number or letter ending in "." or ")", and the space after it; 0 when
    // the text starts otherwise.
    static std::size_t markerLength(std::string_view text);

    const std::string& text() const { return text_; }

    std::optional<AXAttributeValue> copyAttribute(std::string_view name) const override;
    bool setBoolAttribute(std::string_view, bool) const override { return false; }
    bool sameElement(const PlatformElement& other) const override;
    std::size_t identityHash() const override;

private:
    AXElementRef parent_;
    std::size_t index_;  // the run's place among its container's runs
    std::string text_;
    Kind kind_;
};

}  // namespace velmar::linux_backend
