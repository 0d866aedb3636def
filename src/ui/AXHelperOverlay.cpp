#include "ui/AXHelperOverlay.hpp"

#include "platform/Accessibility.hpp"
#include "platform/HelperPanel.hpp"
#include "ui/AXHelperGeometry.hpp"

#include <cmath>

namespace velmar {

std::shared_ptr<AXHelperOverlay> AXHelperOverlay::create(Ports ports) {
    auto overlay = std::shared_ptr<AXHelperOverlay>(new AXHelperOverlay(ports));
    overlay->ports_.panel.setOnClose(weakly(overlay, [](AXHelperOverlay& o) {
        o.closedByUser_ = true;
        o.disarm();
    }));
    return overlay;
}

AXHelperOverlay::AXHelperOverlay(Ports ports) : ports_(ports) {}

AXHelperOverlay::~AXHelperOverlay() {
    disarm();
    ports_.panel.setOnClose(nullptr);
}

void AXHelperOverlay::arm() {
    closedByUser_ = false;
    if (armed_) {
        tick();
        return;
    }
    armed_ = true;
    auto self = shared_from_this();
    timer_ = ports_.loop.repeating(tickInterval, tickTolerance, weakly(self, [](AXHelperOverlay& o) { o.tick(); }));
    observer_ = ports_.workspace.subscribe([weak = weak_from_this()](const WorkspaceNotification& note) {
        using Kind = WorkspaceNotification::Kind;
        if (note.kind != Kind::activated && note.kind != Kind::terminated) return;
        if (auto strong = weak.lock()) strong->tick();
    });
    tick();
}

void AXHelperOverlay::disarm() {
    armed_ = false;
    timer_.cancel();
    observer_.reset();
    hide();
}

void AXHelperOverlay::tick() {
    if (!armed_) return;
    const bool trusted = ports_.accessibility.isProcessTrusted();
    if (trusted && !holdForDev) {
        disarm();
        return;
    }
    std::string front;
    if (auto app = ports_.workspace.frontmostApplication(); app && app->appId) front = *app->appId;

    AXHelperVisibility::Inputs in;
    in.armed = armed_;
    in.trusted = trusted;
    in.holdForDev = holdForDev;
    in.closedByUser = closedByUser_;
    in.frontmostAllowed =
        AXHelperVisibility::isFrontmostAllowed(front) || ports_.panel.isSettingsApplication(front);
    // Only look for the window while it can matter: listing windows is the
    // costly part of a tick.
    if (in.frontmostAllowed) in.settingsWindow = ports_.panel.settingsWindow();
    std::optional<Rect> visible;
    if (in.settingsWindow) visible = AXHelperGeometry::visibleFrameFor(*in.settingsWindow, ports_.panel.screens());

    auto decision = AXHelperVisibility::decide(in, ports_.panel.size(), visible);
    if (auto* s = std::get_if<AXHelperVisibility::Show>(&decision))
        show(s->frame);
    else
        hide();
}

void AXHelperOverlay::show(const Rect& frame) {
    if (isShown_) {
        if (std::abs(frame.x - shownFrame_.x) <= 0.5 && std::abs(frame.y - shownFrame_.y) <= 0.5) return;
    }
    isShown_ = true;
    shownFrame_ = frame;
    ports_.panel.show(frame);
}

void AXHelperOverlay::hide() {
    if (!isShown_) return;
    isShown_ = false;
    ports_.panel.hide();
}

}  // namespace velmar
