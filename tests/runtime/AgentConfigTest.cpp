#include "runtime/AgentConfig.hpp"

#include "platform/sim/SimEnvironment.hpp"
#include "platform/sim/SimInstallLayout.hpp"

#include <gtest/gtest.h>

namespace velmar {
namespace {

AgentConfig defaults() {
    return {.apiBase = "https://api.velmar.app", .dashboardBase = "https://app.velmar.app", .clientVersion = "1.0.0"};
}

// Every broken "config.json" is ignored as a whole, silently, in both kinds of build.
TEST(AgentConfig, EveryBrokenConfigFileFallsBackToTheDefaults) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"no file", std::nullopt},
        {"cut off mid-write", R"({"VELMAR_DRY_RUN": "1", "SUPABASE_URL": "https://x.supa)"},
        {"a JSON array", R"(["VELMAR_DRY_RUN", "1"])"},
        {"one value that is not a string", R"({"VELMAR_DRY_RUN": "1", "VELMAR_OBFUSCATION_ENABLED": 1})"},
    };
    for (const auto& [description, contents] : cases) {
        for (bool release : {false, true}) {
            SCOPED_TRACE(std::string(description) + (release ? " (release)" : " (development)"));
            sim::SimInstallLayout install;
            if (contents) install.setResource("config", "json", contents);
            EXPECT_EQ(AgentConfig::load(install, sim::SimEnvironment{}, release), defaults());
        }
    }
}

// File values are taken as written, switches on only for "1"; a development
// build lets non-empty environment values and the core script override win, a
// release build reads neither.
TEST(AgentConfig, FileValuesAreTakenAsWrittenAndOnlyADevelopmentBuildReadsTheEnvironment) {
    sim::SimInstallLayout install;
    install.setResource("config", "json", R"({
        "SUPABASE_URL": "https://file.supabase.co", "SUPABASE_ANON_KEY": " key ", "VELMAR_DRY_RUN": "true",
        "VELMAR_DASHBOARD_BASE": "not even a URL", "VELMAR_SHADOW_SURFACES": "gemini,perplexity",
        "VELMAR_OBFUSCATION_ENABLED": "1"})");
    const sim::SimEnvironment env{
        {"SUPABASE_URL", "https://env.supabase.co"},
        {"SUPABASE_ANON_KEY", ""},  // empty overrides do not count
        {"VELMAR_DRY_RUN", "1"},
        {"VELMAR_API_BASE", "http://localhost:9000"},
        {"VELMAR_CLIENT_VERSION", "9.9"},  // never read
        {"VELMAR_CORE_JS", "/home/dev/core/core.mjs"},
    };
    AgentConfig release = defaults();  // "true" is not "1": no dry run
    release.supabaseURL = "https://file.supabase.co";
    release.supabaseAnonKey = " key ";
    release.dashboardBase = "not even a URL";
    release.shadowSurfaces = "gemini,perplexity";
    release.obfuscationEnabled = true;
    EXPECT_EQ(AgentConfig::load(install, env, true), release);

    AgentConfig dev = release;
    dev.supabaseURL = "https://env.supabase.co";
    dev.dryRun = true;
    dev.apiBase = "http://localhost:9000";
    dev.coreScriptOverride = "/home/dev/core/core.mjs";
    EXPECT_EQ(AgentConfig::load(install, env, false), dev);

    install.setShortVersion(std::nullopt);
    EXPECT_EQ(AgentConfig::load(install, env, true).clientVersion, "dev");
}

TEST(AgentConfig, ReleaseBuildsTakeOnlyAnHttpsApiBaseWithAHost) {
    struct Case {
        const char* description;
        const char* text;
        bool release;
        const char* expected;
    } cases[] = {
        {"release: blanks and newlines trimmed", " \n https://api.example.com/v1\t\n", true,
         "https://api.example.com/v1"},
        {"release: upper-case scheme kept as written", "HTTPS://Api.Example.com", true, "HTTPS://Api.Example.com"},
        {"release: plain http", "http://api.example.com", true, "https://api.velmar.app"},
        {"release: no host", "https:///path", true, "https://api.velmar.app"},
        {"release: space inside", "https://api example.com", true, "https://api.velmar.app"},
        {"release: blank", " \u2003\n", true, "https://api.velmar.app"},
        {"development: trimmed, unchecked", "  http://10.0.0.5:3000 \n", false, "http://10.0.0.5:3000"},
        {"development: empty", "", false, "http://127.0.0.1:8000"},
    };
    for (const Case& c : cases) EXPECT_EQ(AgentConfig::sanitizeApiBase(c.text, c.release), c.expected) << c.description;
}

// Nothing the agent inherited under its own prefix reaches the core; the
// configured values replace inherited ones; everything else passes through.
TEST(AgentConfig, CoreEnvironmentFiltersTheAgentsPrefixAndSetsTheConfiguredValues) {
    const sim::SimEnvironment inherited{
        {"HOME", "/home/ada"}, {"SUPABASE_URL", "https://inherited.supabase.co"},
        {"VELMAR_CORE_JS", "/tmp/core.mjs"}, {"VELMAR_DRY_RUN", "1"}, {"VELMARX", "kept: not the prefix"}};
    AgentConfig config = defaults();
    config.supabaseURL = "https://configured.supabase.co";
    config.supabaseAnonKey = "anon";
    config.shadowSurfaces = "gemini";
    config.obfuscationEnabled = true;

    const std::map<std::string, std::string> expected{
        {"HOME", "/home/ada"}, {"VELMARX", "kept: not the prefix"},
        {"SUPABASE_URL", "https://configured.supabase.co"}, {"SUPABASE_ANON_KEY", "anon"},
        {"VELMAR_API_BASE", "https://api.velmar.app"}, {"VELMAR_DRY_RUN", "0"},
        {"VELMAR_DASHBOARD_BASE", "https://app.velmar.app"}, {"VELMAR_SHADOW_SURFACES", "gemini"},
        {"VELMAR_CLIENT_VERSION", "1.0.0"}, {"VELMAR_OBFUSCATION_ENABLED", "1"}};
    EXPECT_EQ(config.coreEnvironment(inherited), expected);
}

}  // namespace
}  // namespace velmar
