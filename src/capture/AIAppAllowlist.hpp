#pragma once
// Which applications are captured and how, and which segmenter reads each web
// surface. Pure functions over constant tables: every bundle identifier not
// named here is simply not captured, and every segmenter handed out is a
// fresh value configured with its surface key.

#include "parsing/BrowserSegmenter.hpp"
#include "surfaces/CaptureSpec.hpp"

#include <memory>
#include <optional>
#include <string_view>

namespace velmar::AIAppAllowlist {

inline constexpr std::string_view claudeDesktopBundleID = "com.anthropic.claudefordesktop";
inline constexpr std::string_view chatgptDesktopBundleID = "com.openai.codex";

// Exact, case-sensitive: the two native apps, then the supported browsers.
std::optional<CaptureSpec> specForBundleID(std::string_view bundleID);

// The web segmenter of a browser surface; null for the native-only surfaces
// and for keys that are not surfaces. The caller owns the fresh segmenter.
std::unique_ptr<BrowserSegmenter> browserSegmenterForSurface(std::string_view surface);

}  // namespace velmar::AIAppAllowlist
