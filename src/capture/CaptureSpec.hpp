#pragma once
// How an allow-listed application is captured: as a native app read through
// its own segmenter, or as a supported browser whose tabs are gated and read
// per surface.

#include "parsing/Segmenter.hpp"
#include "surfaces/BrowserProfile.hpp"

#include <memory>
#include <variant>

namespace velmar {

class CaptureSpec {
public:
    struct Native {
        // Configured with its surface key; immutable, so sharing it is safe.
        std::shared_ptr<const Segmenter> segmenter;
    };
    struct Browser {
        BrowserProfile profile;
    };

    static CaptureSpec native(std::shared_ptr<const Segmenter> segmenter);
    static CaptureSpec browser(BrowserProfile profile);

    bool isNative() const { return std::holds_alternative<Native>(value_); }
    bool isBrowser() const { return std::holds_alternative<Browser>(value_); }
    // Null unless the case matches.
    const Native* nativeCase() const { return std::get_if<Native>(&value_); }
    const Browser* browserCase() const { return std::get_if<Browser>(&value_); }

    const std::variant<Native, Browser>& value() const { return value_; }

private:
    explicit CaptureSpec(std::variant<Native, Browser> value) : value_(std::move(value)) {}
    std::variant<Native, Browser> value_;
};

}  // namespace velmar
