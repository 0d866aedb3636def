#include "capture/PasteboardCapture.hpp"

#include "text/Unicode.hpp"


namespace velmar {

namespace {

constexpr std::size_t kMaxCached = 8;
constexpr std::size_t kKeyPreviewChars = 160;
constexpr std::size_t kMinPreviewChars = 40;
constexpr std::string_view kEllipsis = "\u2026";

}  // namespace

std::string PasteboardCapture::chipKey(int lines, std::string_view preview) {
    return std::to_string(lines) + ":" + text::graphemePrefix(text::normalizeWhitespace(preview), kKeyPreviewChars);
}

bool PasteboardCapture::verify(std::string_view clipboard, std::string_view preview, int lines) {
    if (clipboard.empty() || lines < 1) return false;

    std::string_view body = clipboard;
    if (body.ends_with('\n')) body.remove_suffix(1);
    long pieces = 1;
    for (char c : body) pieces += (c == '\n');
    if (pieces != lines) return false;

    std::string head = text::normalizeWhitespace(preview);
    if (std::string_view(head).ends_with(kEllipsis)) head.resize(head.size() - kEllipsis.size());
    if (text::graphemeCount(head) < kMinPreviewChars) return false;

    return std::string_view(text::normalizeWhitespace(clipboard)).starts_with(head);
}

std::optional<std::string> PasteboardCapture::resolveBody(int lines, std::string_view preview) {
    const std::string key = chipKey(lines, preview);
    if (auto it = bodies_.find(key); it != bodies_.end()) return it->second;

    if (!clipboard_ || clipboard_->accessDenied()) return std::nullopt;
    auto raw = clipboard_->plainText();
    if (!raw) return std::nullopt;
    std::string textValue = text::repairUtf8(*raw);
    if (!verify(textValue, preview, lines)) return std::nullopt;

    bodies_[key] = textValue;
    order_.push_back(key);
    if (order_.size() > kMaxCached) {
        bodies_.erase(order_.front());
        order_.pop_front();
    }
    return textValue;
}

}  // namespace velmar
