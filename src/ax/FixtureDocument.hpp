#pragma once
// A fixture file: metadata, what the live parse produced, and the recorded tree.

#include "ax/FixtureNode.hpp"
#include "json/JsonDecoding.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

struct FixtureDocument {
    struct Meta {
        std::string surface;
        std::string scenario;
        std::optional<std::string> recordedAt;
        std::optional<std::string> agentVersion;
        std::optional<std::string> browser;
    };

    struct Expect {
        long long turnCount = 0;
        std::optional<std::vector<std::string>> roles;
        std::optional<bool> modelPresent;
        std::optional<bool> responseComplete;
        std::optional<bool> conversationKeyPresent;
        std::optional<bool> usedParityFallback;
        std::optional<bool> inProject;
        std::optional<bool> producedArtifact;
    };

    Meta meta;
    Expect expect;
    FixtureNodePtr tree;

    // Each throws jsondecode::DecodeError naming the place of the first
    // problem. The returned tree's parents are not wired yet.
    static FixtureDocument decodeText(std::string_view text);
    // Read in one pass in chunks, never held whole; also throws
    // jsondecode::InputError when the file cannot be had (missing,
    // unreadable, a directory, over the input limit).
    static FixtureDocument readFile(const std::filesystem::path& file);
    static FixtureDocument decode(const jsondecode::Json& json);
    static FixtureNodePtr decodeNode(const jsondecode::Json& json, const std::string& path);

    // The document as JSON (sorted keys, only present values).
    jsondecode::Json toJSON() const;
    static jsondecode::Json nodeToJSON(const FixtureNode& node);
};

}  // namespace velmar
