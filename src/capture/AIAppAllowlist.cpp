#include "capture/AIAppAllowlist.hpp"

#include "parsing/ChatGPTDesktopSegmenter.hpp"
#include "parsing/ChatGPTWebSegmenter.hpp"
#include "parsing/ClaudeCoworkWebSegmenter.hpp"
#include "parsing/ClaudeDesignWebSegmenter.hpp"
#include "parsing/ClaudeSegmenter.hpp"
#include "parsing/ClaudeWebSegmenter.hpp"
#include "parsing/DeepSeekWebSegmenter.hpp"
#include "parsing/GeminiWebSegmenter.hpp"
#include "parsing/PerplexityWebSegmenter.hpp"
#include "parsing/WorkspaceGeminiWebSegmenter.hpp"
#include "surfaces/SurfaceTraits.hpp"

namespace velmar::AIAppAllowlist {

std::optional<CaptureSpec> specForBundleID(std::string_view bundleID, const Clipboard* clipboard,
                                           DesktopPlatform platform) {
    if (bundleID == claudeDesktopBundleID) {
        auto segmenter = std::make_shared<ClaudeSegmenter>();
        segmenter->parser.detectFields = true;
        segmenter->parser.resolvePaste = ClaudeTranscriptParser::pasteboardResolver(clipboard);
        return CaptureSpec::native(std::move(segmenter));
    }
    if (bundleID == chatgptDesktopBundleID) {
        // The ChatGPT app reports the desktop surface, not a key of its own.
        return CaptureSpec::native(std::make_shared<ChatGPTDesktopSegmenter>());
    }
    if (auto profile = BrowserProfile::profileForBundleID(bundleID, platform)) return CaptureSpec::browser(std::move(*profile));
    return std::nullopt;
}

std::unique_ptr<BrowserSegmenter> browserSegmenterForSurface(std::string_view surface, const Clipboard* clipboard) {
    using K = SurfaceKey;
    if (surface == K::claudeAI) {
        auto segmenter = std::make_unique<ClaudeWebSegmenter>();
        segmenter->parser.detectFields = true;
        segmenter->parser.resolvePaste = ClaudeTranscriptParser::pasteboardResolver(clipboard);
        return segmenter;
    }
    if (surface == K::chatgpt) return std::make_unique<ChatGPTWebSegmenter>();
    if (surface == K::claudeDesign) return std::make_unique<ClaudeDesignWebSegmenter>();
    if (surface == K::claudeCowork) {
        auto segmenter = std::make_unique<ClaudeCoworkWebSegmenter>();
        segmenter->parser.detectFields = true;
        segmenter->parser.resolvePaste = ClaudeTranscriptParser::pasteboardResolver(clipboard);
        return segmenter;
    }
    if (surface == K::gemini) return std::make_unique<GeminiWebSegmenter>();
    if (surface == K::perplexity) return std::make_unique<PerplexityWebSegmenter>();
    if (surface == K::deepseek) return std::make_unique<DeepSeekWebSegmenter>();
    if (surface == K::geminiDocs || surface == K::geminiSheets) {
        return std::make_unique<WorkspaceGeminiWebSegmenter>(std::string(surface));
    }
    return nullptr;
}

}  // namespace velmar::AIAppAllowlist
