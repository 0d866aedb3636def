#include "ui/Updater.hpp"

#include "platform/LogSink.hpp"
#include "platform/Windowing.hpp"

namespace velmar {

bool Updater::isConfigured(const UpdateFramework& framework) {
    auto feed = framework.feedURL();
    return feed && !feed->empty();
}

Updater::Updater(UpdateFramework& framework, Windowing& windowing, LogSink& log)
    : framework_(framework), windowing_(windowing), log_(log) {
    framework_.start(this);
}

void Updater::checkForUpdates() {
    windowing_.activate();
    framework_.checkForUpdates();
}

void Updater::checkForUpdatesInBackground() { framework_.checkForUpdatesInBackground(); }

bool Updater::willInstallUpdateOnQuit(const std::string& displayVersion, const std::function<void()>& installNow) {
    log_.writeLine("[agent] update " + displayVersion + " staged — installing + relaunching now");
    if (installNow) installNow();
    return true;
}

}  // namespace velmar
