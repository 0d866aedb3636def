#pragma once
// The values the agent and its core process need at start: endpoints, the
// version and three switches. Loaded once, then only read; most of it is handed
// to the core through its environment.

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace velmar {

class InstallLayout;
class ProcessEnvironment;

struct AgentConfig {
    static constexpr std::string_view productionApiBase = "https://api.velmar.app";
    static constexpr std::string_view productionDashboardBase = "https://app.velmar.app";
    static constexpr std::string_view developmentApiBase = "http://127.0.0.1:8000";

    std::string apiBase;
    std::string supabaseURL;
    std::string supabaseAnonKey;
    bool dryRun = false;
    std::string dashboardBase;
    std::string clientVersion;
    std::string shadowSurfaces;
    bool obfuscationEnabled = false;
    // Development builds only: "VELMAR_CORE_JS", the core script to run
    // instead of the bundled one. Always absent in a release build.
    std::optional<std::string> coreScriptOverride;

    bool operator==(const AgentConfig&) const = default;

    // Reads the optional "config.json" resource and, in a development build,
    // overrides from the process environment. Never fails: every problem with
    // the file is silent and yields the defaults.
    static AgentConfig load(const InstallLayout& install, const ProcessEnvironment& environment,
                            bool releaseBuild);
    // The same, for the kind of build this is.
    static AgentConfig load(const InstallLayout& install, const ProcessEnvironment& environment);

    // Release: the trimmed text when it is an absolute https address with a
    // host, else the production backend. Development: the trimmed text, or the
    // loopback development backend when it is empty.
    static std::string sanitizeApiBase(std::string_view text, bool releaseBuild);

    // The core process's environment: the agent's own, minus everything under
    // "VELMAR_", plus the configured values.
    std::map<std::string, std::string> coreEnvironment(const ProcessEnvironment& environment) const;
};

}  // namespace velmar
