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

// The Claude reader of the app and of the web alike: fields named, pasted
// bodies resolved through the session's paste cache (none without one).
ClaudeTranscriptParser claudeParser(PasteboardCapture* pastes) {
    ClaudeTranscriptParser claude;
    claude.detectFields = true;
    if (pastes) {
        claude.resolvePaste = [pastes](int lines, const std::string& preview) {
            return pastes->resolveBody(lines, preview);
        };
    }
    return claude;
}

template <typename Parser>
std::unique_ptr<BrowserSegmenter> web(std::string_view surface, Parser parser = Parser{}) {
    return std::make_unique<WebSegmenter<Parser>>(std::string(surface), std::move(parser));
}

}  // namespace

std::optional<CaptureSpec> specForAppId(std::string_view appId, PasteboardCapture* pastes,
                                           DesktopPlatform platform) {
    if (appId == claudeDesktopAppId) {
        auto segmenter = std::make_shared<ClaudeSegmenter>();
        segmenter->parser = claudeParser(pastes);
        return CaptureSpec::native(std::move(segmenter));
    }
    if (appId == chatgptDesktopAppId) {
        // The ChatGPT app reports the desktop surface, not a key of its own.
        return CaptureSpec::native(std::make_shared<ChatGPTDesktopSegmenter>());
    }
    if (auto profile = BrowserProfile::profileForAppId(appId, platform)) return CaptureSpec::browser(std::move(*profile));
    return std::nullopt;
}

std::unique_ptr<BrowserSegmenter> browserSegmenterForSurface(std::string_view surface, PasteboardCapture* pastes) {
    using K = SurfaceKey;
    if (surface == K::claudeAI || surface == K::claudeCowork) return web(surface, claudeParser(pastes));
    if (surface == K::chatgpt) return web(surface, ChatGPTTranscriptParser::web());
    if (surface == K::claudeDesign) return web<ClaudeDesignTranscriptParser>(surface);
    if (surface == K::gemini) return web<GeminiTranscriptParser>(surface);
    if (surface == K::perplexity) return web<PerplexityTranscriptParser>(surface);
    if (surface == K::deepseek) return web<DeepSeekTranscriptParser>(surface);
    if (surface == K::geminiDocs || surface == K::geminiSheets) return web<WorkspaceGeminiTranscriptParser>(surface);
    return nullptr;
}

}  // namespace velmar::AIAppAllowlist
