#pragma once
// This device's persistent identifier: a random UUID made once and kept in the
// user's settings, so it survives restarts and updates and changes only when
// the preferences are wiped.

#include <string>
#include <string_view>

namespace velmar {

class Settings;

namespace DeviceIdentity {

inline constexpr std::string_view settingsKey = "velmar.deviceId";

// The stored identifier, or a fresh upper-case UUID stored for next time.
std::string current(Settings& settings);

}  // namespace DeviceIdentity
}  // namespace velmar
