#pragma once
// How the browser side obtains snapshots from one web-app tab.

#include "ax/AXElement.hpp"
#include "ax/AXReadScope.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <optional>
#include <string>

namespace velmar {

class BrowserSegmenter {
public:
    virtual ~BrowserSegmenter() = default;
    virtual std::string surface() const = 0;
    // The key comes from the tab's address and is put into the snapshot unchanged.
    // Each call is one parse (parseOnce): every attribute of the tab is read
    // at most once, and the next call reads the tab afresh.
    virtual std::optional<SegmenterSnapshot> snapshot(const AXElement& webArea,
                                                      const std::optional<std::string>& conversationKey) const = 0;
    // The same parse off the main thread: it reads the tree and nothing
    // else, and says so in `needsLoop` where it would have read more (the
    // clipboard for a paste), for the parse to be done again on the loop.
    virtual std::optional<SegmenterSnapshot> snapshotAside(const AXElement& webArea,
                                                           const std::optional<std::string>& conversationKey,
                                                           bool& needsLoop) const {
        needsLoop = false;
        return snapshot(webArea, conversationKey);
    }
};

// One parse of a live tree by `parser`, inside its own read scope.
template <typename Parser>
std::optional<SegmenterSnapshot> parseOnce(const Parser& parser, const AXElement& root,
                                           const std::optional<std::string>& conversationKey) {
    AXReadScope scope;
    return parser.snapshot(scope.read(root), conversationKey);
}

}  // namespace velmar
