#include "ax/FixtureDocument.hpp"

namespace velmar {

namespace jd = jsondecode;

FixtureNodePtr FixtureDocument::decodeNode(const jd::Json& json, const std::string& path) {
    jd::object(json, path);
    auto node = FixtureNode::make(jd::optionalString(json, "role", path).value_or("?"));
    node->subroleValue = jd::optionalString(json, "subrole", path);
    node->value = jd::optionalString(json, "value", path);
    node->titleValue = jd::optionalString(json, "title", path);
    node->descriptionValue = jd::optionalString(json, "description", path);
    node->placeholder = jd::optionalString(json, "placeholder", path);
    node->domClasses = jd::optionalStringList(json, "domClassList", path).value_or(std::vector<std::string>{});
    node->url = jd::optionalString(json, "url", path);
    if (const auto* children = jd::optional(json, "children")) {
        auto childrenPath = jd::child(path, "children");
        jd::array(*children, childrenPath);
        node->childList.reserve(children->size());
        for (std::size_t i = 0; i < children->size(); ++i) {
            node->childList.push_back(decodeNode((*children)[i], jd::element(childrenPath, i)));
        }
    }
    return node;
}

FixtureDocument FixtureDocument::decode(const jd::Json& json) {
    jd::object(json, "");
    FixtureDocument doc;

    const auto& meta = jd::object(jd::required(json, "meta", ""), "meta");
    doc.meta.surface = jd::string(jd::required(meta, "surface", "meta"), "meta.surface");
    doc.meta.scenario = jd::string(jd::required(meta, "scenario", "meta"), "meta.scenario");
    doc.meta.recordedAt = jd::optionalString(meta, "recordedAt", "meta");
    doc.meta.agentVersion = jd::optionalString(meta, "agentVersion", "meta");
    doc.meta.browser = jd::optionalString(meta, "browser", "meta");

    const auto& expect = jd::object(jd::required(json, "expect", ""), "expect");
    doc.expect.turnCount = jd::integer(jd::required(expect, "turnCount", "expect"), "expect.turnCount");
    doc.expect.roles = jd::optionalStringList(expect, "roles", "expect");
    doc.expect.modelPresent = jd::optionalBool(expect, "modelPresent", "expect");
    doc.expect.responseComplete = jd::optionalBool(expect, "responseComplete", "expect");
    doc.expect.conversationKeyPresent = jd::optionalBool(expect, "conversationKeyPresent", "expect");
    doc.expect.usedParityFallback = jd::optionalBool(expect, "usedParityFallback", "expect");
    doc.expect.inProject = jd::optionalBool(expect, "inProject", "expect");
    doc.expect.producedArtifact = jd::optionalBool(expect, "producedArtifact", "expect");

    doc.tree = decodeNode(jd::required(json, "tree", ""), "tree");
    return doc;
}

FixtureDocument FixtureDocument::decodeText(std::string_view text) { return decode(jd::parse(text)); }

jd::Json FixtureDocument::nodeToJSON(const FixtureNode& node) {
    jd::Json out = jd::Json::object();
    out["role"] = node.roleValue;
    if (node.subroleValue) out["subrole"] = *node.subroleValue;
    if (node.value) out["value"] = *node.value;
    if (node.titleValue) out["title"] = *node.titleValue;
    if (node.descriptionValue) out["description"] = *node.descriptionValue;
    if (node.placeholder) out["placeholder"] = *node.placeholder;
    if (!node.domClasses.empty()) out["domClassList"] = node.domClasses;
    if (node.url) out["url"] = *node.url;
    if (!node.childList.empty()) {
        auto& children = out["children"] = jd::Json::array();
        for (const auto& c : node.childList) children.push_back(nodeToJSON(*c));
    }
    return out;
}

jd::Json FixtureDocument::toJSON() const {
    jd::Json metaJson = {{"surface", meta.surface}, {"scenario", meta.scenario}};
    if (meta.recordedAt) metaJson["recordedAt"] = *meta.recordedAt;
    if (meta.agentVersion) metaJson["agentVersion"] = *meta.agentVersion;
    if (meta.browser) metaJson["browser"] = *meta.browser;
    jd::Json expectJson = {{"turnCount", expect.turnCount}};
    if (expect.roles) expectJson["roles"] = *expect.roles;
    if (expect.modelPresent) expectJson["modelPresent"] = *expect.modelPresent;
    if (expect.responseComplete) expectJson["responseComplete"] = *expect.responseComplete;
    if (expect.conversationKeyPresent) expectJson["conversationKeyPresent"] = *expect.conversationKeyPresent;
    if (expect.usedParityFallback) expectJson["usedParityFallback"] = *expect.usedParityFallback;
    if (expect.inProject) expectJson["inProject"] = *expect.inProject;
    if (expect.producedArtifact) expectJson["producedArtifact"] = *expect.producedArtifact;
    jd::Json out = {{"meta", metaJson}, {"expect", expectJson}};
    out["tree"] = tree ? nodeToJSON(*tree) : jd::Json::object();
    return out;
}

}  // namespace velmar
