#include "capture/BrowserGate.hpp"

#include "capture/CaptureDebug.hpp"
#include "parsing/WorkspaceGeminiPanel.hpp"
#include "platform/Accessibility.hpp"
#include "surfaces/AIWebURL.hpp"
#include "text/Unicode.hpp"

#include <algorithm>

namespace velmar {

namespace {

// A clock set back makes every span due rather than none.
bool due(TimePoint since, TimePoint now, Duration span) { return now < since || now - since >= span; }

}  // namespace

BrowserGate::BrowserGate(int pid, BrowserProfile profile, const Accessibility& accessibility, const CaptureDebug* debug,
                         const Clock* clock)
    : pid_(pid), profile_(std::move(profile)), accessibility_(accessibility), app_(accessibility.applicationElement(pid)),
      debug_(debug), clock_(clock) {
    if (profile_.armsEnhancedUI && app_.raw()) app_.raw()->setBoolAttribute("AXEnhancedUserInterface", true);
}

std::optional<std::string> BrowserGate::url(const AXElement& element) {
    auto value = element.attribute("AXURL");
    if (!value) return std::nullopt;
    auto* address = std::get_if<AXURLValue>(&*value);
    if (!address || address->absoluteString.empty()) return std::nullopt;
    return address->absoluteString;
}

std::optional<AXElement> BrowserGate::firstWebArea(const AXElement& element, int depth, bool shownOnly) {
    if (depth > maxWebAreaDepth) return std::nullopt;
    if (element.role() == "AXWebArea" && url(element)) {
        if (!shownOnly || !isHidden(element)) return element;
        return std::nullopt;  // a background tab's page, and the pages inside it
    }
    for (const auto& child : element.children()) {
        // Children of a live element are live elements.
        if (auto hit = firstWebArea(static_cast<const AXElement&>(*child), depth + 1, shownOnly)) return hit;
    }
    return std::nullopt;
}

bool BrowserGate::isHidden(const AXElement& element) {
    auto hidden = element.attribute("AXHidden");
    auto* flag = hidden ? std::get_if<bool>(&*hidden) : nullptr;
    return flag && *flag;
}

void BrowserGate::collectURLWebAreas(const AXElement& element, int depth, std::vector<AXElement>& out) {
    if (depth > maxWebAreaDepth || out.size() >= maxCollectedWebAreas) return;
    if (element.role() == "AXWebArea") {
        if (url(element)) out.push_back(element);
        return;  // nested pages belong to this one
    }
    for (const auto& child : element.children()) {
        collectURLWebAreas(static_cast<const AXElement&>(*child), depth + 1, out);
        if (out.size() >= maxCollectedWebAreas) return;
    }
}

std::optional<AXElement> BrowserGate::resolveWebArea(const AXElement& window) const {
    if (profile_.webAreaResolution == WebAreaResolution::firstURLBearing) return firstWebArea(window, 0);
    if (profile_.webAreaResolution == WebAreaResolution::firstShownURLBearing) return firstWebArea(window, 0, true);
    std::vector<AXElement> areas;
    collectURLWebAreas(window, 0, areas);
    std::vector<AXElement> ai;
    for (const auto& area : areas) {
        if (auto address = url(area); address && AIWebURL::surface(WebAddress::parse(*address))) ai.push_back(area);
    }
    if (ai.size() == 1) return ai.front();
    if (ai.size() > 1 && debug_) {
        debug_->line(profile_.slug + ": window exposes " + std::to_string(ai.size()) + " AI-origin web areas — skipped");
    }
    return std::nullopt;
}

std::optional<GatedTab> BrowserGate::panelTab(const AXElement& webArea, const std::string& url, bool isFocused) {
    const WebAddress address = WebAddress::parse(url);
    auto surface = AIWebURL::panelSurface(address);
    if (!surface) return std::nullopt;
    auto documentId = AIWebURL::panelConversationId(address, *surface);
    if (!documentId) return std::nullopt;
    auto panel = WorkspaceGeminiPanel::locate(std::make_shared<AXElement>(webArea));
    if (!panel || !WorkspaceGeminiPanel::isDisjointFromEditor(panel, panelNodeCap)) return std::nullopt;
    auto* panelElement = dynamic_cast<const AXElement*>(panel.get());
    if (!panelElement) return std::nullopt;
    GatedTab tab{*panelElement, *surface, std::nullopt, isFocused, std::nullopt};
    // The start state has no feed yet: nothing to key a conversation by.
    // Chromium on Linux leaves the class-only feed out; its prompt headings stay.
    if (WorkspaceGeminiPanel::findByClass(panel, "appsElementsSidekickFeedEntries", feedSearchDepth, 0) ||
        WorkspaceGeminiPanel::findByClass(panel, "appsElementsSidekickUserMessageContainer", feedSearchDepth, 0)) {
        tab.conversationKey = std::move(documentId);
    }
    return tab;
}

void BrowserGate::forgetStructure() const {
    remembered_.clear();
    rememberingSince_.reset();
}

void BrowserGate::forgetWindow(const AXElement& window) const {
    std::erase_if(remembered_, [&](const Remembered& r) { return r.window == window; });
}

std::optional<TimePoint> BrowserGate::passTime() const {
    if (!clock_) return std::nullopt;
    const TimePoint now = clock_->now();
    if (rememberingSince_ && due(*rememberingSince_, now, structureCheckPeriod)) remembered_.clear();
    if (remembered_.empty()) rememberingSince_ = now;
    return now;
}

std::optional<std::string> BrowserGate::stillShown(const AXElement& webArea) const {
    // A page that is gone reads no address; ask that first.
    auto address = url(webArea);
    if (!address || webArea.role() != "AXWebArea") return std::nullopt;
    if (profile_.webAreaResolution == WebAreaResolution::firstShownURLBearing) {
        // Firefox keeps every tab's page in the window and hides those not shown.
        if (isHidden(webArea)) return std::nullopt;
        return address;
    }
    // Chromium takes a tab's page out of the tree when another tab is shown,
    // and the page still reads its address, role and showing state: only its
    // missing parent tells.
    if (!webArea.element("AXParent")) return std::nullopt;
    // Chosen for being the window's one AI page; navigated away, another may be.
    if (profile_.webAreaResolution == WebAreaResolution::uniqueAIOrigin &&
        !AIWebURL::surface(WebAddress::parse(*address))) {
        return std::nullopt;
    }
    return address;
}

const BrowserGate::Remembered* BrowserGate::rememberedFor(const AXElement& window) const {
    auto it = std::find_if(remembered_.begin(), remembered_.end(), [&](const Remembered& r) { return r.window == window; });
    return it == remembered_.end() ? nullptr : &*it;
}

bool BrowserGate::walks(const AXElement& window, std::optional<TimePoint> now) const {
    if (!now) return true;
    const Remembered* kept = rememberedFor(window);
    return !kept || (!kept->webArea && due(kept->walkedAt, *now, pagelessRecheck));
}

std::vector<AXElement> BrowserGate::windows() const {
    if (aheadWindows_) return std::move(*std::exchange(aheadWindows_, std::nullopt));
    return app_.windows();
}

bool BrowserGate::readAhead(const std::function<bool()>& due, const std::function<void()>& onAnswered) const {
    if (!aheadWindows_) {
        const auto now = passTime();
        aheadWindows_ = app_.windows();
        aheadRoots_.clear();
        for (const auto& window : *aheadWindows_) {
            if (walks(window, now)) aheadRoots_.push_back(window.raw());
        }
        ahead_.reset();
        if (!aheadRoots_.empty()) {
            ahead_ = std::make_unique<AXMirror>();
            ahead_->stopAtPages();
        }
    }
    for (const auto& root : aheadRoots_) {
        if (!ahead_->prefetch(root, accessibility_, due, onAnswered)) return false;
    }
    return true;
}

bool BrowserGate::waitingForAnswers() const { return ahead_ && ahead_->waiting(); }

void BrowserGate::giveUpReadAhead() const {
    aheadWindows_.reset();
    aheadRoots_.clear();
    ahead_.reset();
}

void BrowserGate::remember(const AXElement& window, std::optional<AXElement> page, std::optional<TimePoint> now) const {
    if (!now) return;
    forgetWindow(window);
    remembered_.push_back({AXElement(window.raw()), std::move(page), *now});
}

std::optional<BrowserGate::Page> BrowserGate::pageOf(const AXElement& window, std::optional<TimePoint> now) const {
    auto walk = [&]() -> std::optional<Page> {
        // Through what was read ahead, where it was.
        auto area = resolveWebArea(ahead_ && ahead_->holds(window.raw()) ? ahead_->read(window) : window);
        std::optional<std::string> address = area ? url(*area) : std::nullopt;
        if (!area || !address) {
            remember(window, std::nullopt, now);
            return std::nullopt;
        }
        // Kept without the walk's read memory: later passes read afresh.
        AXElement page(area->raw());
        remember(window, page, now);
        return Page{std::move(page), std::move(*address)};
    };
    if (walks(window, now)) return walk();
    const Remembered& kept = *rememberedFor(window);
    if (!kept.webArea) return std::nullopt;  // pageless, and not due yet
    if (auto address = stillShown(*kept.webArea)) return Page{*kept.webArea, std::move(*address)};
    return walk();
}

std::vector<GatedTab> BrowserGate::allGatedTabs(std::size_t maxWindows) const {
    const auto now = passTime();
    const auto focused = app_.focusedWindow();
    std::vector<AXElement> windows = this->windows();
    if (focused) {
        auto it = std::find(windows.begin(), windows.end(), *focused);
        if (it != windows.end() && it != windows.begin()) std::iter_swap(windows.begin(), it);
    }
    std::erase_if(remembered_, [&](const Remembered& r) {
        return std::find(windows.begin(), windows.end(), r.window) == windows.end();
    });

    std::vector<GatedTab> tabs;
    std::size_t counted = 0;
    // Within the cap every window is looked at, titled or not: no title to read.
    const bool capReachable = windows.size() > maxWindows;
    for (const auto& window : windows) {
        if (counted == maxWindows) break;
        // Chromium on AT-SPI lists, beside each of its windows, two untitled
        // frames that host its hidden address-bar popups and claim to be
        // showing. They are looked at, but only titled windows (what a person
        // has open) use up the cap; counting the hosts would hide every window
        // past the third.
        if (capReachable && !text::isBlank(window.label())) ++counted;
        auto minimized = window.attribute("AXMinimized");
        if (minimized && std::get_if<bool>(&*minimized) && std::get<bool>(*minimized)) continue;
        const bool isFocused = focused && window == *focused;
        auto page = pageOf(window, now);
        if (!page) continue;
        const WebAddress parsed = WebAddress::parse(page->url);
        if (auto surface = AIWebURL::surface(parsed)) {
            tabs.push_back({page->webArea, *surface, AIWebURL::conversationId(parsed, *surface), isFocused,
                            AIWebURL::inProject(parsed, *surface)});
        } else if (auto panel = panelTab(page->webArea, page->url, isFocused)) {
            tabs.push_back(std::move(*panel));
        }
    }
    giveUpReadAhead();  // read for this pass only
    return tabs;
}

std::optional<std::string> BrowserGate::focusedAISurface() const {
    const auto now = passTime();
    auto window = app_.focusedWindow();
    if (!window) return std::nullopt;
    auto page = pageOf(*window, now);
    if (!page) return std::nullopt;
    return AIWebURL::surface(WebAddress::parse(page->url));
}

namespace {

bool anyWebArea(const AXElement& element, int depth) {
    if (depth > BrowserGate::maxWebAreaDepth) return false;
    if (element.role() == "AXWebArea") return true;
    for (const auto& child : element.children()) {
        if (anyWebArea(static_cast<const AXElement&>(*child), depth + 1)) return true;
    }
    return false;
}

}  // namespace

bool BrowserGate::showsWindowsWithoutPages() const {
    bool titled = false;
    for (const auto& window : app_.windows()) {
        if (text::isBlank(window.label())) continue;
        titled = true;
        if (anyWebArea(window, 0)) return false;
    }
    return titled;
}

}  // namespace velmar
