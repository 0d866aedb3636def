#include "platform/sim/SimDesktop.hpp"

#include <algorithm>

namespace velmar::sim {

SimDesktop::SimDesktop(SimMainLoop& loop) : loop_(loop), accessibility_(&loop) { workspace_.attachLoop(&loop); }

SimElementPtr SimDesktop::launch(const RunningApplication& app) {
    auto element = SimElement::make("AXApplication");
    if (app.localizedName) element->setString("AXTitle", *app.localizedName);
    accessibility_.addApplication(app.pid, element);
    windows_[app.pid].clear();
    publishWindows(app.pid);
    workspace_.launch(app);
    return element;
}

void SimDesktop::terminate(int pid) {
    if (auto app = application(pid)) app->destroy();
    accessibility_.removeApplication(pid);
    windows_.erase(pid);
    workspace_.terminate(pid);
}

SimElementPtr SimDesktop::application(int pid) const {
    return std::static_pointer_cast<SimElement>(std::const_pointer_cast<PlatformElement>(
        accessibility_.applicationElement(pid)));
}

std::vector<SimElementPtr> SimDesktop::windows(int pid) const {
    auto it = windows_.find(pid);
    return it == windows_.end() ? std::vector<SimElementPtr>{} : it->second;
}

SimElementPtr SimDesktop::openWindow(int pid, std::string title, bool focus) {
    auto app = application(pid);
    if (!app) return nullptr;
    auto window = app->append("AXWindow");
    window->setString("AXTitle", std::move(title));
    window->set("AXMinimized", false);
    windows_[pid].push_back(window);
    publishWindows(pid);
    accessibility_.post(pid, "AXWindowCreated", window);
    if (focus) focusWindow(pid, window);
    return window;
}

void SimDesktop::closeWindow(int pid, const SimElementPtr& window) {
    auto app = application(pid);
    if (!app) return;
    std::erase(windows_[pid], window);
    app->removeChild(window);
    window->destroy();
    publishWindows(pid);
    accessibility_.post(pid, "AXUIElementDestroyed");
}

void SimDesktop::focusWindow(int pid, const SimElementPtr& window) {
    auto app = application(pid);
    if (!app) return;
    app->set("AXFocusedWindow", AXElementRef(window));
    accessibility_.post(pid, "AXFocusedWindowChanged", window);
}

void SimDesktop::publishWindows(int pid) {
    auto app = application(pid);
    if (!app) return;
    std::vector<AXElementRef> list(windows_[pid].begin(), windows_[pid].end());
    app->set("AXWindows", std::move(list));
    auto focused = app->copyAttribute("AXFocusedWindow");
    if (focused) {
        auto* ref = std::get_if<AXElementRef>(&*focused);
        const bool stillOpen = ref && std::any_of(windows_[pid].begin(), windows_[pid].end(),
                                                  [&](const auto& w) { return w.get() == ref->get(); });
        if (!stillOpen) app->remove("AXFocusedWindow");
    }
}

SimElementPtr SimDesktop::webArea(const std::string& url) {
    auto area = SimElement::make("AXWebArea");
    area->set("AXURL", AXURLValue{url});
    return area;
}

}  // namespace velmar::sim
