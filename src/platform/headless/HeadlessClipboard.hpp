#pragma once
// The clipboard where there is no display: it never holds text, and reading
// it is never refused.

#include "platform/Clipboard.hpp"

namespace velmar::headless {

class HeadlessClipboard final : public Clipboard {
public:
    std::optional<std::string> plainText() const override { return std::nullopt; }
    bool accessDenied() const override { return false; }
};

}  // namespace velmar::headless
