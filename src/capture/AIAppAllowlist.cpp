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

namespace {

// The Claude readers name fields and recover pasted prompts alike, in the
// app and on the web.
template <class ClaudeReader>
std::unique_ptr<ClaudeReader> claudeReader(const Clipboard* clipboard) {
    auto segmenter = std::make_unique<ClaudeReader>();
    segmenter->parser.detectFields = true;
    segmenter->parser.resolvePaste = ClaudeTranscriptParser::pasteboardResolver(clipboard);
    return segmenter;
}

}  // namespace

std::optional<CaptureSpec> specForBundleID(std::string_view bundleID, const Clipboard* clipboard,
                                           DesktopPlatform platform) {
    if (bundleID == claudeDesktopBundleID)
        return CaptureSpec::native(std::shared_ptr<ClaudeSegmenter>(claudeReader<ClaudeSegmenter>(clipboard)));
    if (bundleID == chatgptDesktopBundleID) {
        // The ChatGPT app reports the desktop surface, not a key of its own.
        return CaptureSpec::native(std::make_shared<ChatGPTDesktopSegmenter>());
    }
    if (auto profile = BrowserProfile::profileForBundleID(bundleID, platform)) return CaptureSpec::browser(std::move(*profile));
    return std::nullopt;
}

std::unique_ptr<BrowserSegmenter> browserSegmenterForSurface(std::string_view surface, const Clipboard* clipboard) {
    using K = SurfaceKey;
    if (surface == K::claudeAI) return claudeReader<ClaudeWebSegmenter>(clipboard);
    if (surface == K::chatgpt) return std::make_unique<ChatGPTWebSegmenter>();
    if (surface == K::claudeDesign) return std::make_unique<ClaudeDesignWebSegmenter>();
    if (surface == K::claudeCowork) return claudeReader<ClaudeCoworkWebSegmenter>(clipboard);
    if (surface == K::gemini) return std::make_unique<GeminiWebSegmenter>();
    if (surface == K::perplexity) return std::make_unique<PerplexityWebSegmenter>();
    if (surface == K::deepseek) return std::make_unique<DeepSeekWebSegmenter>();
    if (surface == K::geminiDocs || surface == K::geminiSheets) {
        return std::make_unique<WorkspaceGeminiWebSegmenter>(std::string(surface));
    }
    return nullptr;
}

}  // namespace velmar::AIAppAllowlist
