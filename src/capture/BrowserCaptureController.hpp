#pragma once
// Capture for one running supported browser: on every settle the gate names
// the windows that show an AI surface, each tab is segmented with its
// surface's web segmenter and routed per conversation ("surface:key"). A
// focused tab without a conversation id is a new-chat view: the first turns
// of the conversation it becomes are marked as new, with the draft typed there.
// Every event carries the browser's slug.

#include "capture/AttachedController.hpp"
#include "capture/BrowserGate.hpp"
#include "capture/CaptureSchedule.hpp"
#include "capture/ConversationFeed.hpp"
#include "parsing/BrowserSegmenter.hpp"

#include <map>
#include <memory>
#include <set>
#include <string>

namespace velmar {

class Accessibility;
class AccessibilityObserver;
class CaptureDebug;
class CaptureDiag;
class Clipboard;
class MainLoop;

class BrowserCaptureController final : public AttachedController {
public:
    static constexpr std::size_t maxWindows = 8;

    // `diag` counts what capture saw; `clipboard` (may be null) recovers
    // pasted prompts on the Claude surfaces; `debug` may be null. All must
    // outlive the controller.
    BrowserCaptureController(RunningApplication app, BrowserProfile profile, Accessibility& accessibility,
                             MainLoop& loop, CaptureDiag& diag, CaptureSchedule::Timings timings,
                             TurnAssembler::EventHandler onEvent, const Clipboard* clipboard = nullptr,
                             const CaptureDebug* debug = nullptr);
    ~BrowserCaptureController() override;

    const RunningApplication& app() const override { return app_; }
    bool start() override;
    void stop() override;
    void setResumeLookup(TurnAssembler::ResumeLookup lookup) override {
        feed_.router().setResumeLookup(std::move(lookup));
    }

    // How long after attaching the browser is looked at for windows without
    // pages (time for a browser just launched to open its first page).
    static constexpr Duration pagesCheckDelay{8'000};
    // Called once, that long after `start`, when the browser shows windows
    // but none of its pages (see BrowserGate::showsWindowsWithoutPages).
    void setOnPagesHidden(std::function<void()> handler) { onPagesHidden_ = std::move(handler); }

    void scheduleSettle() { schedule_.notify(); }
    void settle();
    void processTab(const GatedTab& tab);
    void sweepAbandoned(TimePoint now);

    static std::string compositeKey(const std::string& surface, const std::string& key) { return surface + ":" + key; }

    const BrowserGate& gate() const { return gate_; }
    int settleRuns() const { return schedule_.settleRuns(); }
    const std::set<std::string>& newChatPending() const { return feed_.newChatSlots(); }
    const std::map<std::string, std::string>& pendingDrafts() const { return feed_.drafts(); }
    const ConversationRouter& router() const { return feed_.router(); }

private:
    void debugLine(const std::string& message) const;
    void keylessView(const GatedTab& tab);
    // Built on a surface's first tab and kept: segmenters hold no state of a read.
    const BrowserSegmenter* segmenterFor(const std::string& surface);

    const RunningApplication app_;
    const BrowserProfile profile_;
    Accessibility& accessibility_;
    MainLoop& loop_;
    const Clipboard* clipboard_;
    const CaptureDebug* debug_;
    const AXElement appElement_;
    const BrowserGate gate_;
    CaptureSchedule schedule_;
    ConversationFeed feed_;
    std::map<std::string, std::unique_ptr<BrowserSegmenter>, std::less<>> segmenters_;
    std::unique_ptr<AccessibilityObserver> observer_;
    std::function<void()> onPagesHidden_;
    ScopedTimer pagesCheck_;
};

}  // namespace velmar
