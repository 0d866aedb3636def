#pragma once
// An in-memory clipboard with a denial switch and a read counter, so tests can
// prove when the clipboard was (not) consulted.

#include "platform/Clipboard.hpp"

#include <cstddef>

namespace velmar::sim {

class SimClipboard final : public Clipboard {
public:
    std::optional<std::string> plainText() const override;
    bool accessDenied() const override { return denied_; }

    void setText(std::string text) { text_ = std::move(text); }
    void clear() { text_.reset(); }
    void setAccessDenied(bool denied) { denied_ = denied; }

    // Number of plainText() calls so far.
    std::size_t reads() const { return reads_; }

private:
    std::optional<std::string> text_;
    bool denied_ = false;
    mutable std::size_t reads_ = 0;
};

}  // namespace velmar::sim
