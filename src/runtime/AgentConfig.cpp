#include "runtime/AgentConfig.hpp"

#include "platform/InstallLayout.hpp"
#include "platform/ProcessEnvironment.hpp"
#include "runtime/BuildInfo.hpp"
#include "surfaces/WebAddress.hpp"
#include "text/Unicode.hpp"

#include <array>

#include <nlohmann/json.hpp>

namespace velmar {
namespace {

using Table = std::map<std::string, std::string, std::less<>>;

// The keys a development build may override from its environment.
constexpr std::array<std::string_view, 7> overridableKeys = {
    "VELMAR_API_BASE",       "SUPABASE_URL",           "SUPABASE_ANON_KEY",          "VELMAR_DRY_RUN",
    "VELMAR_DASHBOARD_BASE", "VELMAR_SHADOW_SURFACES", "VELMAR_OBFUSCATION_ENABLED",
};

// The file table: a JSON object of strings only, or nothing at all.
Table readFileTable(const InstallLayout& install) {
    auto text = install.readResource("config", "json");
    if (!text) return {};
    auto json = nlohmann::json::parse(*text, nullptr, /*allow_exceptions=*/false);
    if (!json.is_object()) return {};
    Table table;
    for (const auto& [key, value] : json.items()) {
        if (!value.is_string()) return {};
        table.emplace(key, value.get<std::string>());
    }
    return table;
}

Table readOverrideTable(const ProcessEnvironment& environment) {
    Table table;
    for (std::string_view key : overridableKeys) {
        if (auto value = environment.get(key)) table.emplace(std::string(key), *value);
    }
    return table;
}

bool startsWithHttps(std::string_view text) {
    constexpr std::string_view scheme = "https://";
    return text.size() >= scheme.size() && text.substr(0, scheme.size()) == scheme;
}

}  // namespace

AgentConfig AgentConfig::load(const InstallLayout& install, const ProcessEnvironment& environment) {
    return load(install, environment, build::releaseBuild);
}

AgentConfig AgentConfig::load(const InstallLayout& install, const ProcessEnvironment& environment, bool releaseBuild) {
    const Table file = readFileTable(install);
    const Table overrides = releaseBuild ? Table{} : readOverrideTable(environment);

    auto pick = [&](std::string_view key, std::string_view fallback) -> std::string {
        if (auto it = overrides.find(key); it != overrides.end() && !it->second.empty()) return it->second;
        if (auto it = file.find(key); it != file.end()) return it->second;
        return std::string(fallback);
    };

    AgentConfig config;
    config.apiBase = sanitizeApiBase(pick("VELMAR_API_BASE", productionApiBase), releaseBuild);
    config.supabaseURL = pick("SUPABASE_URL", "");
    config.supabaseAnonKey = pick("SUPABASE_ANON_KEY", "");
    config.dryRun = pick("VELMAR_DRY_RUN", "") == "1";
    config.dashboardBase = pick("VELMAR_DASHBOARD_BASE", productionDashboardBase);
    config.clientVersion = install.shortVersion().value_or("dev");
    config.shadowSurfaces = pick("VELMAR_SHADOW_SURFACES", "");
    config.obfuscationEnabled = pick("VELMAR_OBFUSCATION_ENABLED", "") == "1";
    if (!releaseBuild) {
        if (auto script = environment.get("VELMAR_CORE_JS"); script && !script->empty()) {
            config.coreScriptOverride = *script;
        }
    }
    return config;
}

std::string AgentConfig::sanitizeApiBase(std::string_view text, bool releaseBuild) {
    std::string trimmed = text::trim(text);
    if (releaseBuild) {
        if (startsWithHttps(text::toLower(trimmed))) {
            const WebAddress address = WebAddress::parse(trimmed);
            if (address.parsed() && address.host && !address.host->empty()) return trimmed;
        }
        return std::string(productionApiBase);
    }
    if (trimmed.empty()) return std::string(developmentApiBase);
    return trimmed;
}

std::map<std::string, std::string> AgentConfig::coreEnvironment(const ProcessEnvironment& environment) const {
    std::map<std::string, std::string> env = environment.all();
    std::erase_if(env, [](const auto& entry) { return entry.first.starts_with("VELMAR_"); });
    env["VELMAR_API_BASE"] = apiBase;
    env["SUPABASE_URL"] = supabaseURL;
    env["SUPABASE_ANON_KEY"] = supabaseAnonKey;
    env["VELMAR_DRY_RUN"] = dryRun ? "1" : "0";
    env["VELMAR_DASHBOARD_BASE"] = dashboardBase;
    env["VELMAR_SHADOW_SURFACES"] = shadowSurfaces;
    env["VELMAR_CLIENT_VERSION"] = clientVersion;
    env["VELMAR_OBFUSCATION_ENABLED"] = obfuscationEnabled ? "1" : "0";
    return env;
}

}  // namespace velmar
