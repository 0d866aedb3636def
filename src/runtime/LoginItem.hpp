#pragma once
// Launch at login, switched on or off through the platform's login service.

#include "platform/LoginService.hpp"

namespace velmar::LoginItem {

// Registers (true) or unregisters (false) the agent; absent on success, else
// the platform's error unchanged, for the caller to show.
std::optional<PlatformError> setEnabled(LoginService& service, bool enabled);

}  // namespace velmar::LoginItem
