#pragma once
// How capture controllers obtain snapshots from a native application window.

#include "ax/AXElement.hpp"
#include "parsing/SegmenterSnapshot.hpp"

#include <optional>
#include <string>
#include <vector>

namespace velmar {

class Segmenter {
public:
    virtual ~Segmenter() = default;
    virtual std::string surface() const = 0;
    // Segments the application's current window; absent when no transcript view is found.
    // Each call is one parse: every attribute is read at most once (inside an
    // AXReadScope), and the next call reads the application afresh.
    virtual std::optional<SegmenterSnapshot> snapshot(const AXElement& app) const = 0;
    // Delays from attachment at which the controller takes its initial reads.
    virtual std::vector<int> primeDelaysMs() const = 0;
    // The focused window's unsent composer text, read without segmenting.
    virtual std::optional<std::string> composerDraft(const AXElement& app) const = 0;
};

}  // namespace velmar
