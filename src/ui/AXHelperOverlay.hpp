#pragma once
// The accessibility permission helper: while armed, four times a second (and
// whenever another application comes to the front or quits) it decides
// whether the helper panel shows beside the settings window, and where. It
// disarms itself once the permission is granted, unless held for development,
// and when the user closes it; a close keeps it hidden until the next arm.
//
// Main loop only. The timer and the workspace subscription hold the overlay
// weakly, so it is always owned through a shared pointer.

#include "platform/MainLoop.hpp"
#include "platform/Workspace.hpp"
#include "ui/AXHelperGeometry.hpp"

#include <memory>

namespace velmar {

class Accessibility;
class HelperPanel;

class AXHelperOverlay : public std::enable_shared_from_this<AXHelperOverlay> {
public:
    static constexpr Duration tickInterval{250};
    static constexpr Duration tickTolerance{50};

    struct Ports {
        MainLoop& loop;
        Accessibility& accessibility;
        Workspace& workspace;
        HelperPanel& panel;
    };

    static std::shared_ptr<AXHelperOverlay> create(Ports ports);
    ~AXHelperOverlay();
    AXHelperOverlay(const AXHelperOverlay&) = delete;
    AXHelperOverlay& operator=(const AXHelperOverlay&) = delete;

    // Stays armed and may show even once the permission is granted.
    bool holdForDev = false;

    void arm();
    void disarm();
    void tick();

    bool armed() const { return armed_; }
    bool closedByUser() const { return closedByUser_; }
    bool isShown() const { return isShown_; }

private:
    explicit AXHelperOverlay(Ports ports);
    void show(const Rect& frame);
    void hide();

    Ports ports_;
    ScopedTimer timer_;
    WorkspaceSubscription observer_;
    bool armed_ = false;
    bool closedByUser_ = false;
    bool isShown_ = false;
    Rect shownFrame_;
};

}  // namespace velmar
