#pragma once
// A scripted desktop on virtual time: applications with their windows and
// accessibility trees, which change when the script says so and post the
// notifications a real desktop would (launch, activation, accessibility
// notifications), all delivered on the simulated main loop.
//
// Trees are SimElements: a window's content is whatever the script builds
// under it (for example from recorded fixtures with SimElement::fromJSON).

#include "platform/sim/SimAccessibility.hpp"
#include "platform/sim/SimMainLoop.hpp"
#include "platform/sim/SimWorkspace.hpp"

#include <string>
#include <vector>

namespace velmar::sim {

class SimDesktop {
public:
    explicit SimDesktop(SimMainLoop& loop);

    SimMainLoop& loop() { return loop_; }
    SimWorkspace& workspace() { return workspace_; }
    SimAccessibility& accessibility() { return accessibility_; }

    // Starts an application; its element (role "AXApplication") has no windows yet.
    SimElementPtr launch(const RunningApplication& app);
    void terminate(int pid);
    // Brings the application to the front.
    void activate(int pid) { workspace_.activate(pid); }

    // Opens a window (role "AXWindow") on the application and focuses it
    // unless told otherwise; posts "AXWindowCreated".
    SimElementPtr openWindow(int pid, std::string title = {}, bool focus = true);
    void closeWindow(int pid, const SimElementPtr& window);
    // Makes the window the application's focused one; posts "AXFocusedWindowChanged".
    void focusWindow(int pid, const SimElementPtr& window);
    void setMinimized(const SimElementPtr& window, bool minimized) { window->set("AXMinimized", minimized); }

    // The application's tree changed at `element`: posts the notification.
    void changed(int pid, std::string notification = "AXValueChanged", SimElementPtr element = nullptr) {
        accessibility_.post(pid, std::move(notification), std::move(element));
    }

    SimElementPtr application(int pid) const;
    std::vector<SimElementPtr> windows(int pid) const;

    // A web area showing `url` ("AXWebArea" with "AXURL").
    static SimElementPtr webArea(const std::string& url);

private:
    void publishWindows(int pid);

    SimMainLoop& loop_;
    SimWorkspace workspace_;
    SimAccessibility accessibility_;
    std::map<int, std::vector<SimElementPtr>> windows_;
};

}  // namespace velmar::sim
