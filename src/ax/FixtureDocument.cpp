#include "ax/FixtureDocument.hpp"

#include "ax/FixtureDecoder.hpp"

namespace velmar {

namespace jd = jsondecode;

FixtureNodePtr FixtureDocument::decodeNode(const jd::Json& json, const std::string& path) {
    auto decoder = FixtureDecoder::forNode(path);
    jd::emit(json, decoder);
    return decoder.node();
}

FixtureDocument FixtureDocument::decode(const jd::Json& json) {
    auto decoder = FixtureDecoder::forDocument();
    jd::emit(json, decoder);
    return decoder.document();
}

FixtureDocument FixtureDocument::decodeText(std::string_view text) {
    auto decoder = FixtureDecoder::forDocument();
    jd::read(text, decoder);
    return decoder.document();
}

FixtureDocument FixtureDocument::readFile(const std::filesystem::path& file) {
    auto decoder = FixtureDecoder::forDocument();
    jd::readFile(file, decoder);
    return decoder.document();
}

jd::Json FixtureDocument::nodeToJSON(const FixtureNode& node) {
    jd::Json out = jd::Json::object();
    using Text = FixtureNode::Text;
    out["role"] = node.roleValue;
    static const std::pair<Text, const char*> texts[] = {{Text::subrole, "subrole"},         {Text::value, "value"},
                                                         {Text::title, "title"},             {Text::description, "description"},
                                                         {Text::placeholder, "placeholder"}, {Text::url, "url"}};
    for (auto [which, key] : texts) {
        if (const auto* t = node.text(which)) out[key] = *t;
    }
    if (!node.domClasses.empty()) out["domClassList"] = node.domClasses;
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
