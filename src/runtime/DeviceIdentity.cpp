#include "runtime/DeviceIdentity.hpp"

#include "platform/Settings.hpp"

#include <uuid/uuid.h>

namespace velmar::DeviceIdentity {
namespace {

// A version 4 UUID from the system's random source (getrandom).
std::string freshIdentifier() {
    uuid_t uuid;
    uuid_generate_random(uuid);
    char text[37];
    uuid_unparse_upper(uuid, text);
    return text;
}

}  // namespace

std::string current(Settings& settings) {
    if (auto stored = settings.string(settingsKey); stored && !stored->empty()) return *stored;
    std::string identifier = freshIdentifier();
    settings.setString(settingsKey, identifier);
    return identifier;
}

}  // namespace velmar::DeviceIdentity
