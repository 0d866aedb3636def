#include "platform/linux/atspi/AtspiTextRun.hpp"

#include "text/Regex.hpp"

namespace velmar::linux_backend {
namespace {

constexpr std::string_view kObjectReplacement = "\xEF\xBF\xBC";  // U+FFFC

}  // namespace

AtspiTextRun::AtspiTextRun(AXElementRef parent, std::size_t index, std::string text, Kind kind)
    : parent_(std::move(parent)), index_(index), text_(std::move(text)), kind_(kind) {}

std::size_t AtspiTextRun::markerLength(std::string_view text) {
    // Bullets of the list styles browsers draw, or a counter: digits, a
    // letter or a roman numeral, then "." or ")"; a space follows.
    static const text::Regex marker(R"(^(?:[•◦▪▫■□‣⁃○●◆◇–-]|(?:[0-9]{1,9}|[a-zA-Z]|[ivxlcdmIVXLCDM]{1,8})[.)]) )");
    auto m = marker.firstMatch(text);
    return m ? m->group(0)->size() : 0;
}

std::vector<AXElementRef> AtspiTextRun::interleave(const AXElementRef& parent, std::string_view text,
                                                   std::vector<AXElementRef> children, bool isListItem) {
    bool folded = false;  // some text of its own beside the embedded objects
    for (std::size_t i = 0; i < text.size() && !folded; i += kObjectReplacement.size()) {
        folded = text.compare(i, kObjectReplacement.size(), kObjectReplacement) != 0;
    }
    if (!folded) return children;

    std::vector<AXElementRef> out;
    std::size_t runs = 0, next = 0;
    auto addLeaf = [&](std::string_view run, Kind kind) {
        if (run.empty()) return;
        out.push_back(std::make_shared<AtspiTextRun>(parent, runs++, std::string(run), kind));
    };
    // A line break is a leaf of its own, as Chromium gives a <br>: a parser
    // that drops a line by its leaf's text sees the line alone.
    auto addRun = [&](std::string_view run, Kind kind) {
        for (auto nl = run.find('\n'); nl != std::string_view::npos; nl = run.find('\n')) {
            addLeaf(run.substr(0, nl), kind);
            addLeaf("\n", kind);
            run.remove_prefix(nl + 1);
        }
        addLeaf(run, kind);
    };
    std::string_view rest = text;
    if (isListItem) {
        if (auto n = markerLength(rest)) {
            addRun(rest.substr(0, n), Kind::listMarker);
            rest.remove_prefix(n);
        }
    }
    for (;;) {
        auto at = rest.find(kObjectReplacement);
        addRun(rest.substr(0, at), Kind::text);
        if (at == std::string_view::npos) break;
        if (next < children.size()) out.push_back(std::move(children[next++]));
        rest.remove_prefix(at + kObjectReplacement.size());
    }
    for (; next < children.size(); ++next) out.push_back(std::move(children[next]));
    return out;
}

std::optional<AXAttributeValue> AtspiTextRun::copyAttribute(std::string_view name) const {
    if (name == "AXRole") return AXAttributeValue(std::string(kind_ == Kind::listMarker ? "AXListMarker" : "AXStaticText"));
    if (name == "AXValue") return AXAttributeValue(text_);
    if (name == "AXChildren") return AXAttributeValue(std::vector<AXElementRef>{});
    if (name == "AXDOMClassList") return AXAttributeValue(std::vector<std::string>{});
    if (name == "AXParent" && parent_) return AXAttributeValue(parent_);
    return std::nullopt;
}

bool AtspiTextRun::sameElement(const PlatformElement& other) const {
    auto* run = dynamic_cast<const AtspiTextRun*>(&other);
    return run && run->index_ == index_ && velmar::sameElement(run->parent_, parent_);
}

std::size_t AtspiTextRun::identityHash() const {
    return (parent_ ? parent_->identityHash() : 0) * 31 + index_ + 1;
}

}  // namespace velmar::linux_backend
