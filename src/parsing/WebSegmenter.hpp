#pragma once
// A browser tab on one web app: that app's transcript parser on the web area
// (for the Workspace Gemini panel, the panel root the browser gate located).

#include "parsing/BrowserSegmenter.hpp"

#include <string>
#include <utility>

namespace velmar {

template <typename Parser>
class WebSegmenter final : public BrowserSegmenter {
public:
    explicit WebSegmenter(std::string surface, Parser parser = Parser{})
        : parser(std::move(parser)), surface_(std::move(surface)) {}

    Parser parser;

    std::string surface() const override { return surface_; }
    std::optional<SegmenterSnapshot> snapshot(const AXElement& webArea,
                                              const std::optional<std::string>& conversationKey) const override {
        return parseOnce(parser, webArea, conversationKey);
    }
    std::optional<SegmenterSnapshot> snapshotAside(const AXElement& webArea,
                                                   const std::optional<std::string>& conversationKey,
                                                   bool& needsLoop) const override {
        needsLoop = false;
        if constexpr (requires { parser.resolvePaste; }) {
            // A paste's body comes from the clipboard, on the loop: a page
            // showing one is parsed there.
            if (parser.resolvePaste) {
                Parser aside = parser;
                aside.resolvePaste = [&needsLoop](int, const std::string&) -> std::optional<std::string> {
                    needsLoop = true;
                    return std::nullopt;
                };
                return parseOnce(aside, webArea, conversationKey);
            }
        }
        return snapshot(webArea, conversationKey);
    }

private:
    std::string surface_;
};

}  // namespace velmar
