#include "platform/linux/system/SandboxIdentity.hpp"

#include <gtest/gtest.h>

namespace velmar::linux_backend {
namespace {

TEST(SandboxIdentity, NamesSnapsAndFlatpaksByTheirScopeOrInfoFile) {
    struct Case {
        const char* description;
        std::string cgroup;
        std::optional<std::string> id;
    };
    const std::string slice = "0::/user.slice/user-1000.slice/user@1000.service/app.slice/";
    const Case cases[] = {
        {"a snap app", slice + "snap.chromium.chromium-2c3b4d35-1111-2222-3333-444455556666.scope\n",
         "chromium_chromium"},
        {"a snap app whose name has a hyphen", slice + "snap.vivaldi.vivaldi-stable-2c3b4d35-1111-2222-3333-444455556666.scope\n",
         "vivaldi_vivaldi-stable"},
        {"snapd's older dotted scope", slice + "snap.firefox.firefox.2c3b4d35-1111-2222-3333-444455556666.scope\n",
         "firefox_firefox"},
        {"a Flatpak", slice + "app-flatpak-org.chromium.Chromium-81234.scope\n", "org.chromium.Chromium"},
        {"a Flatpak id with a hyphen", slice + "app-flatpak-com.example.my-app-7.scope\n", "com.example.my-app"},
        {"cgroup v1 lines around it", "12:pids:/user.slice\n1:name=systemd:/x/app-flatpak-com.brave.Browser-9.scope\n",
         "com.brave.Browser"},
        {"an unconfined program started by the desktop", slice + "app-gnome-chromium-4242.scope\n", std::nullopt},
        {"a snap's name inside a longer path is not a scope", slice + "snap.x.y-notauuid.scope\n", std::nullopt},
        {"nothing", "", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(SandboxIdentity::fromCgroup(c.cgroup), c.id) << c.description;

    EXPECT_EQ(SandboxIdentity::fromFlatpakInfo("[Application]\nname=org.chromium.Chromium\nruntime=x\n"),
              "org.chromium.Chromium");
    EXPECT_EQ(SandboxIdentity::fromFlatpakInfo("[Instance]\nname=other\n[Application]\r\nname=com.opera.Opera\r\n"),
              "com.opera.Opera")
        << "only the Application group counts; CR LF lines";
    EXPECT_EQ(SandboxIdentity::fromFlatpakInfo("[Runtime]\nname=org.gnome.Platform\n"), std::nullopt);
}

}  // namespace
}  // namespace velmar::linux_backend
