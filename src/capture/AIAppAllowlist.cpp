#include "capture/AIAppAllowlist.hpp"

#include "capture/PasteboardCapture.hpp"
#include "parsing/ChatGPTDesktopSegmenter.hpp"
#include "parsing/ClaudeDesignTranscriptParser.hpp"
#include "parsing/ClaudeSegmenter.hpp"
#include "parsing/DeepSeekTranscriptParser.hpp"
#include "parsing/GeminiTranscriptParser.hpp"
#include "parsing/PerplexityTranscriptParser.hpp"
#include "parsing/WebSegmenter.hpp"
#include "parsing/WorkspaceGeminiTranscriptParser.hpp"
#include "surfaces/SurfaceTraits.hpp"

namespace velmar::AIAppAllowlist {
namespace {

// Pasted bodies through the process-wide paste cache, reading `clipboard`
// when the cache has none (null: the cache alone answers).
PasteResolver pasteBodies(const Clipboard* clipboard) {
    return [clipboard](int lines, const std::string& preview) {
        return PasteboardCapture::resolveBody(clipboard, lines, preview);
    };
}

// The Claude reader of the app and of the web alike: fields named, pasted
// bodies resolved through the clipboard.
ClaudeTranscriptParser claudeParser(const Clipboard* clipboard) {
    ClaudeTranscriptParser claude;
    claude.detectFields = true;
    claude.resolvePaste = pasteBodies(clipboard);
    return claude;
}

template <typename Parser>
std::unique_ptr<BrowserSegmenter> web(std::string_view surface, Parser parser = Parser{}) {
    return std::make_unique<WebSegmenter<Parser>>(std::string(surface), std::move(parser));
}

}  // namespace

std::optional<CaptureSpec> specForAppId(std::string_view appId, const Clipboard* clipboard,
                                           DesktopPlatform platform) {
    if (appId == claudeDesktopAppId) {
        auto segmenter = std::make_shared<ClaudeSegmenter>();
        segmenter->parser = claudeParser(clipboard);
        return CaptureSpec::native(std::move(segmenter));
    }
    if (appId == chatgptDesktopAppId) {
        // The ChatGPT app reports the desktop surface, not a key of its own.
        return CaptureSpec::native(std::make_shared<ChatGPTDesktopSegmenter>());
    }
    if (auto profile = BrowserProfile::profileForAppId(appId, platform)) return CaptureSpec::browser(std::move(*profile));
    return std::nullopt;
}

std::unique_ptr<BrowserSegmenter> browserSegmenterForSurface(std::string_view surface, const Clipboard* clipboard) {
    using K = SurfaceKey;
    if (surface == K::claudeAI || surface == K::claudeCowork) return web(surface, claudeParser(clipboard));
    if (surface == K::chatgpt) return web(surface, ChatGPTTranscriptParser::web());
    if (surface == K::claudeDesign) return web<ClaudeDesignTranscriptParser>(surface);
    if (surface == K::gemini) return web<GeminiTranscriptParser>(surface);
    if (surface == K::perplexity) return web<PerplexityTranscriptParser>(surface);
    if (surface == K::deepseek) return web<DeepSeekTranscriptParser>(surface);
    if (surface == K::geminiDocs || surface == K::geminiSheets) return web<WorkspaceGeminiTranscriptParser>(surface);
    return nullptr;
}

}  // namespace velmar::AIAppAllowlist
