#pragma once
// Which applications are captured and how, and which segmenter reads each web
// surface. Pure functions over constant tables: every app id not
// named here is simply not captured, and every segmenter handed out is a
// fresh value configured with its surface key.

#include "parsing/BrowserSegmenter.hpp"
#include "capture/CaptureSpec.hpp"

#include <memory>
#include <optional>
#include <string_view>

namespace velmar {
class PasteboardCapture;
}

namespace velmar::AIAppAllowlist {

inline constexpr std::string_view claudeDesktopAppId = "com.anthropic.claudefordesktop";
inline constexpr std::string_view chatgptDesktopAppId = "com.openai.codex";

// Exact, case-sensitive: the two native apps, then the supported browsers of
// `platform` (by default the desktop this build runs on).
// Live capture passes its paste cache (it must outlive the segmenters): the
// Claude readers recover pasted prompts through it. Without one they do not.
std::optional<CaptureSpec> specForAppId(std::string_view appId, PasteboardCapture* pastes = nullptr,
                                           DesktopPlatform platform = BrowserProfile::runningPlatform());

// The web segmenter of a browser surface; null for the native-only surfaces
// and for keys that are not surfaces. The caller owns the fresh segmenter.
std::unique_ptr<BrowserSegmenter> browserSegmenterForSurface(std::string_view surface,
                                                             PasteboardCapture* pastes = nullptr);

}  // namespace velmar::AIAppAllowlist
