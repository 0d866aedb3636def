#pragma once
// The system clipboard, read only: the agent uses it solely to recover text
// the user pasted into a chat composer.

#include <optional>
#include <string>

namespace velmar {

class Clipboard {
public:
    virtual ~Clipboard() = default;

    // The clipboard's plain-text content; absent when it holds no text.
    virtual std::optional<std::string> plainText() const = 0;
    // True when the user has denied this application clipboard access, so that
    // reading would prompt or fail. False where the platform cannot tell.
    virtual bool accessDenied() const = 0;
};

}  // namespace velmar
