#include "platform/linux/session/GioDesktopLauncher.hpp"

#include <gio/gio.h>

namespace velmar::linux_backend {

bool GioDesktopLauncher::openURL(const std::string& url) {
    return g_app_info_launch_default_for_uri(url.c_str(), nullptr, nullptr) == TRUE;
}

bool GioDesktopLauncher::openAccessibilitySettings() {
    // GNOME's and KDE's settings panels for accessibility, whichever exists.
    const char* const candidates[][3] = {
        {"gnome-control-center", "universal-access", nullptr},
        {"systemsettings", "kcm_access", nullptr},
    };
    for (const auto& argv : candidates) {
        gchar* found = g_find_program_in_path(argv[0]);
        if (!found) continue;
        g_free(found);
        if (g_spawn_async(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
                          nullptr))
            return true;
    }
    return false;
}

}  // namespace velmar::linux_backend
