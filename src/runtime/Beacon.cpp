#include "runtime/Beacon.hpp"

#include "platform/Settings.hpp"
#include "runtime/CoreContract.hpp"

#include <algorithm>

namespace velmar::Beacon {

bool isOncePerInstall(std::string_view event) {
    return std::find(oncePerInstall.begin(), oncePerInstall.end(), event) != oncePerInstall.end();
}

std::string sentKey(std::string_view event) { return "velmar.beacon." + std::string(event) + ".sent"; }

bool shouldSend(std::string_view event, const Settings& settings) {
    if (!isOncePerInstall(event)) return true;
    return !settings.boolean(sentKey(event)).value_or(false);
}

nlohmann::json message(std::string_view event, const std::string& deviceId) {
    return core_contract::beacon(std::string(event), deviceId);
}

void markSent(std::string_view event, Settings& settings) {
    if (isOncePerInstall(event)) settings.setBoolean(sentKey(event), true);
}

}  // namespace velmar::Beacon
