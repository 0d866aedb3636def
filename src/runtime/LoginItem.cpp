#include "runtime/LoginItem.hpp"

namespace velmar::LoginItem {

std::optional<PlatformError> setEnabled(LoginService& service, bool enabled) {
    return enabled ? service.registerItem() : service.unregisterItem();
}

}  // namespace velmar::LoginItem
