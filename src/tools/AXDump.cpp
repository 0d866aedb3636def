#include "tools/AXDump.hpp"

#include "ax/AXElement.hpp"
#include "text/Unicode.hpp"
#include "platform/Accessibility.hpp"
#include "tools/CaptureCheck.hpp"
#include "tools/FixtureScrubber.hpp"

namespace velmar {

namespace jd = jsondecode;

namespace {

// A live web area answers "AXURL" with an address value rather than a plain
// string, which AXNode::string does not report; read the raw value there.
std::optional<std::string> addressOf(const AXNode& node) {
    if (const auto* element = dynamic_cast<const AXElement*>(&node)) {
        auto value = element->attribute("AXURL");
        if (!value) return std::nullopt;
        if (const auto* url = std::get_if<AXURLValue>(&*value)) return url->absoluteString;
        if (const auto* s = std::get_if<std::string>(&*value)) return *s;
        return std::nullopt;
    }
    return node.string("AXURL");
}

}  // namespace

jd::Json AXDump::serializeNode(const AXNode& node, bool includeURL, int depth, int& budget) {
    --budget;
    jd::Json out = jd::Json::object();
    // Role, subrole and class names are interface vocabulary, not the user's
    // words: they are written as read, only made well-formed.
    out["role"] = text::repairUtf8(node.role());
    if (auto subrole = node.subrole()) out["subrole"] = text::repairUtf8(*subrole);

    static const std::pair<const char*, const char*> texts[] = {
        {"AXValue", "value"}, {"AXTitle", "title"}, {"AXDescription", "description"},
        {"AXPlaceholderValue", "placeholder"}};
    for (auto [attribute, key] : texts) {
        auto value = node.string(attribute);
        if (value && !value->empty()) out[key] = FixtureScrubber::scrub(*value);
    }

    auto classes = node.domClassList();
    if (!classes.empty()) {
        for (auto& c : classes) c = text::repairUtf8(c);
        out["domClassList"] = std::move(classes);
    }

    if (includeURL && depth == 0) {
        auto address = addressOf(node);
        if (address && !address->empty()) out["url"] = FixtureScrubber::scrubURL(*address);
    }

    if (depth <= maxChildDepth && budget > 0) {
        auto children = node.children();
        if (!children.empty()) {
            auto& list = out["children"] = jd::Json::array();
            for (const auto& child : children) {
                if (child) list.push_back(serializeNode(*child, includeURL, depth + 1, budget));
            }
        }
    }
    return out;
}

std::string AXDump::prettyJSON(const jd::Json& document) {
    // nlohmann's objects keep their keys sorted, so the default dump is sorted.
    return document.dump(2, ' ', false, jd::Json::error_handler_t::replace) + "\n";
}

}  // namespace velmar

namespace velmar {

bool AXDump::isVerb(std::string_view argument) {
    for (auto verb : verbs)
        if (verb == argument) return true;
    return false;
}

std::string_view AXDump::missingTrustMessage() {
#if defined(__APPLE__)
    return "This terminal lacks the Accessibility grant — run from a terminal listed in System Settings > Privacy & "
           "Security > Accessibility.\n";
#else
    return "This session's accessibility switch is off — turn it on (Settings > Accessibility, or the "
           "org.a11y.Status IsEnabled property on the session bus) and run again.\n";
#endif
}

int AXDump::run(const std::vector<std::string>& arguments, ToolContext& context) {
    if (!context.accessibility.isProcessTrusted()) {
        context.err << missingTrustMessage() << std::flush;
        return 2;
    }
    const std::string verb = arguments.empty() ? std::string() : arguments.front();
    const std::vector<std::string> rest(arguments.empty() ? arguments.end() : arguments.begin() + 1, arguments.end());
    if (verb == "ax-check") return check(context);
    if (verb == "ax-record") return record(rest, context);
    if (verb == "ax-turns") return turns(rest, context);
    if (verb == "capture-check") return CaptureCheck::run(rest, context);
    context.err << usage << std::flush;
    return 2;
}

}  // namespace velmar
