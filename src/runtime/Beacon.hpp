#pragma once
// One-shot funnel events reported to the core. Two of them are sent once per
// installation: their sent flag is set only when the core confirms delivery,
// so an unconfirmed one goes out again on a later occasion.

#include <nlohmann/json.hpp>

#include <array>
#include <string>
#include <string_view>

namespace velmar {

class Settings;

namespace Beacon {

inline constexpr std::string_view firstLaunch = "agent_first_launch";
inline constexpr std::string_view welcomeShown = "agent_welcome_shown";
inline constexpr std::string_view signInClick = "agent_sign_in_click";
inline constexpr std::string_view dashboardOpenClick = "agent_dashboard_open_click";

inline constexpr std::array<std::string_view, 2> oncePerInstall{firstLaunch, welcomeShown};

bool isOncePerInstall(std::string_view event);
// "velmar.beacon.<event>.sent"
std::string sentKey(std::string_view event);
bool shouldSend(std::string_view event, const Settings& settings);
nlohmann::json message(std::string_view event, const std::string& deviceId);
// Only once-per-install events have a flag to set; others are ignored.
void markSent(std::string_view event, Settings& settings);

}  // namespace Beacon
}  // namespace velmar
