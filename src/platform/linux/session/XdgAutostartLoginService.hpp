#pragma once
// Launch at login through an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/velmar-desktop-agent.desktop, that starts the
// installed executable. The desktop starts it without asking anyone, so a
// registration never waits for approval. The entry is written atomically; an
// entry the user switched off in the desktop's settings ("Hidden=true" or
// "X-GNOME-Autostart-enabled=false") counts as not registered.

#include "platform/LoginService.hpp"

#include <filesystem>

namespace velmar {
class ProcessEnvironment;
}

namespace velmar::linux_backend {

class XdgAutostartLoginService final : public LoginService {
public:
    XdgAutostartLoginService(std::filesystem::path entryFile, std::filesystem::path executable);

    static std::filesystem::path defaultEntryPath(const ProcessEnvironment& environment);
    // The entry's text for this executable; absent when the path cannot be
    // written in an entry (a line break in it).
    static std::optional<std::string> entryText(const std::filesystem::path& executable);

    Status status() const override;
    std::optional<PlatformError> registerItem() override;
    std::optional<PlatformError> unregisterItem() override;

    const std::filesystem::path& entryFile() const { return entryFile_; }

private:
    std::filesystem::path entryFile_;
    std::filesystem::path executable_;
};

}  // namespace velmar::linux_backend
