#pragma once
// How the browser side obtains snapshots from one web-app tab.

#include "ax/AXElement.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <optional>
#include <string>

namespace velmar {

class BrowserSegmenter {
public:
    virtual ~BrowserSegmenter() = default;
    virtual std::string surface() const = 0;
    // The key comes from the tab's address and is put into the snapshot unchanged.
    virtual std::optional<SegmenterSnapshot> snapshot(const AXElement& webArea,
                                                      const std::optional<std::string>& conversationKey) const = 0;
};

}  // namespace velmar
