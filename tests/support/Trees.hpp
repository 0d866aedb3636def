#pragma once
// Hand-made accessibility trees for tests, written in the recorded-node
// vocabulary so they read like the tree they build:
//   auto root = fixtureTree(R"({"role":"AXGroup","children":[{"role":"AXStaticText","value":"Hi"}]})");
// or with the builder:
//   auto root = N("AXGroup").kids({N("AXStaticText").value("Hi")}).build();

#include "ax/AXElement.hpp"
#include "ax/FixtureDocument.hpp"
#include "ax/FixtureNode.hpp"
#include "platform/sim/SimElement.hpp"

#include <nlohmann/json.hpp>

#include <initializer_list>
#include <string>
#include <vector>

namespace velmar::testing {

// A recorded tree with its parents wired.
inline FixtureNodePtr fixtureTree(const nlohmann::json& json) {
    auto root = FixtureDocument::decodeNode(json, "tree");
    root->wireParents();
    return root;
}
inline FixtureNodePtr fixtureTree(const std::string& jsonText) { return fixtureTree(nlohmann::json::parse(jsonText)); }

// The same tree as simulated live elements.
inline sim::SimElementPtr simTree(const nlohmann::json& json, std::shared_ptr<sim::SimReadLog> log = nullptr) {
    return sim::SimElement::fromJSON(json, std::move(log));
}
inline sim::SimElementPtr simTree(const std::string& jsonText) { return simTree(nlohmann::json::parse(jsonText)); }

// Fluent builder producing the recorded-node JSON.
class N {
public:
    explicit N(std::string role) { json_["role"] = std::move(role); }
    N& subrole(std::string v) { json_["subrole"] = std::move(v); return *this; }
    N& value(std::string v) { json_["value"] = std::move(v); return *this; }
    N& title(std::string v) { json_["title"] = std::move(v); return *this; }
    N& description(std::string v) { json_["description"] = std::move(v); return *this; }
    N& placeholder(std::string v) { json_["placeholder"] = std::move(v); return *this; }
    N& url(std::string v) { json_["url"] = std::move(v); return *this; }
    N& classes(std::vector<std::string> v) { json_["domClassList"] = std::move(v); return *this; }
    // Any other attribute (simulated trees only).
    N& attribute(const std::string& name, nlohmann::json v) { json_["attributes"][name] = std::move(v); return *this; }
    N& kids(std::initializer_list<N> children) {
        for (const auto& c : children) kid(c);
        return *this;
    }
    N& kid(const N& child) {
        auto& list = json_["children"];
        if (!list.is_array()) list = nlohmann::json::array();
        list.push_back(child.json_);
        return *this;
    }
    const nlohmann::json& json() const { return json_; }
    FixtureNodePtr build() const { return fixtureTree(json_); }
    sim::SimElementPtr buildSim(std::shared_ptr<sim::SimReadLog> log = nullptr) const { return simTree(json_, std::move(log)); }

private:
    nlohmann::json json_ = nlohmann::json::object();
};

// The two kinds of tree every node-level rule must read alike.
enum class Kind { Recorded, Live };

inline AXNodePtr make(const N& tree, Kind kind) {
    if (kind == Kind::Recorded) return tree.build();
    return std::make_shared<AXElement>(tree.buildSim());
}

}  // namespace velmar::testing
