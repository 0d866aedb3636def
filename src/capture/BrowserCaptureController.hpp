#pragma once
// Capture for one running supported browser: on every settle the gate names
// the windows that show an AI surface, each tab is segmented with its
// surface's web segmenter and routed per conversation ("surface:key"). A
// focused tab without a conversation id is a new-chat view: the first turns
// of the conversation it becomes are marked as new, with the draft typed there.
// Every event carries the browser's slug.
//
// Each gated page is read through a mirror kept between settles: the
// browser's events say which of its elements to read again, so a settle
// costs what changed. What events cannot vouch for is read again too: the end
// of the page when a settle comes from time rather than an event (a page may
// finish a reply without one), and the whole page once changes have stood
// for `verifyPeriod`. Events about anything else (the browser's own window,
// other tabs) only send the gate to look again.
//
// A settle never holds the loop for long: what its pages need read is read
// ahead, many elements' requests in flight at once, a slice of
// `settleSlice` at a time with the loop's other work between slices; the
// pages are parsed from memory once all is read.

#include "ax/AXMirror.hpp"
#include "capture/AttachedController.hpp"
#include "capture/BrowserGate.hpp"
#include "capture/CaptureSchedule.hpp"
#include "capture/ConversationFeed.hpp"
#include "parsing/BrowserSegmenter.hpp"

#include <map>
#include <memory>
#include <set>
#include <vector>
#include <string>

namespace velmar {

class Accessibility;
class AccessibilityObserver;
class CaptureDebug;
class CaptureDiag;
class PasteboardCapture;
class MainLoop;

class BrowserCaptureController final : public AttachedController {
public:
    static constexpr std::size_t maxWindows = 8;

    // `diag` counts what capture saw; `pastes` (may be null) recovers
    // pasted prompts on the Claude surfaces; `debug` may be null. All must
    // outlive the controller.
    BrowserCaptureController(RunningApplication app, BrowserProfile profile, Accessibility& accessibility,
                             MainLoop& loop, CaptureDiag& diag, CaptureSchedule::Timings timings,
                             TurnAssembler::EventHandler onEvent, PasteboardCapture* pastes = nullptr,
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

    // How long changes to a page go before it is read whole again; for a
    // page whose whole read takes long, at least `verifyShare` times that
    // read, so that reading whole never takes more than a twentieth of the time.
    static constexpr Duration verifyPeriod{30'000};
    static constexpr int verifyShare = 20;
    // How many elements at the end of a page a settle without events reads again.
    static constexpr std::size_t unvouchedTail = 256;
    // How many of the transcript's last members a settle after changes reads again whole.
    static constexpr std::size_t lastMessages = 2;

    // How long one slice of a settle's reading may go before the loop has a turn.
    static constexpr Duration settleSlice{20};
    // How long a settle waits for a batch's answers before it parses without them.
    static constexpr Duration answersDue{5'000};
    // Pages of fewer elements are parsed on the loop: a few milliseconds,
    // less than a hand-over to the worker and back costs in latency.
    static constexpr std::size_t parseAsideFrom = 5'000;
    // Notifications kept while a settle reads; more forget the pages.
    static constexpr std::size_t maxHeldNotes = 4096;
    // Another slice, for tests that spread a settle over many turns (zero: one batch a turn).
    void setSettleSlice(Duration slice) { slice_ = slice; }
    void setParseAsideFrom(std::size_t elements) { parseAsideFrom_ = elements; }

    void scheduleSettle() { schedule_.notify(); }
    // An accessibility notification about `element` (the application: anywhere).
    void noted(const AXElementRef& element, std::string_view notification);
    void settle();
    // Whether a settle's reading is still spread over turns of the loop.
    bool settling() const { return settling_; }
    void sweepAbandoned(TimePoint now);

    static std::string compositeKey(const std::string& surface, const std::string& key) { return surface + ":" + key; }

    const BrowserGate& gate() const { return gate_; }
    // Elements remembered of the gated pages, for inspection.
    std::size_t mirroredElements() const;
    int settleRuns() const { return schedule_.settleRuns(); }
    const std::set<std::string>& newChatPending() const { return feed_.newChatSlots(); }
    const std::map<std::string, std::string>& pendingDrafts() const { return feed_.drafts(); }
    const ConversationRouter& router() const { return feed_.router(); }

private:
    // One gated page and what the controller knows of it.
    struct Watched {
        AXElementRef webArea;
        AXMirror mirror;
        // The last parse, valid while the mirror is not stale and the key holds.
        std::optional<SegmenterSnapshot> snapshot;
        std::optional<std::string> snapshotKey;
        bool parsed = false;  // in this settle
        // This settle's parse, done off the loop with the end of its pass;
        // absent when it was not.
        std::optional<std::optional<SegmenterSnapshot>> aside;
        int changesSinceRead = 0;  // elements events named since the last settle
        int changesRead = 0;       // ... before this one
        TimePoint verifiedAt{};
        std::optional<TimePoint> changedAt;
        // When a read of the whole page began, until the settle that read it ends.
        std::optional<TimePoint> wholeReadFrom;
        Duration wholeRead{0};  // how long the last one took
        Duration verifyEvery() const { return std::max(verifyPeriod, wholeRead * verifyShare); }
    };
    Watched& watch(const AXElement& webArea);
    void forgetAllPages();
    // The tab's page is parsed in this settle (its surface is captured and it names a conversation).
    bool parses(const GatedTab& tab);
    // What of the page this settle must read again, beyond what events named.
    void doubt(Watched& watched, const GatedTab& tab);
    // One slice of reading the browser's windows ahead of the gate, which
    // then finds the pages to read.
    void readWindows();
    void gateTabs();
    // A reading slice stopped short: `resume` on a later turn of the loop,
    // or, with answers in flight, `giveUp` once they are overdue.
    void resumeLater(bool waiting, void (BrowserCaptureController::*resume)(), Task giveUp);
    // One slice of the settle's reading; the pages are processed once it is all read.
    void readAhead();
    // The pages are parsed, off the loop where their parsers allow, then processed.
    void finishSettle();
    void completeSettle();
    // The last parse stands for the page as the mirror holds it.
    static bool keepsParse(const Watched& watched, const GatedTab& tab);
    void processTab(const GatedTab& tab);
    // `page` is the tab's page read through `watched`'s mirror.
    std::optional<SegmenterSnapshot> read(Watched& watched, const GatedTab& tab, const AXElement& page,
                                          const BrowserSegmenter& segmenter);

    void debugLine(const std::string& message) const;
    void keylessView(const GatedTab& tab);
    // Built on a surface's first tab and kept: segmenters hold no state of a read.
    const BrowserSegmenter* segmenterFor(const std::string& surface);

    const RunningApplication app_;
    const BrowserProfile profile_;
    Accessibility& accessibility_;
    MainLoop& loop_;
    PasteboardCapture* pastes_;
    const CaptureDebug* debug_;
    const AXElement appElement_;
    const BrowserGate gate_;
    CaptureSchedule schedule_;
    ConversationFeed feed_;
    std::map<std::string, std::unique_ptr<BrowserSegmenter>, std::less<>> segmenters_;
    std::unique_ptr<AccessibilityObserver> observer_;
    std::vector<std::unique_ptr<Watched>> watched_;
    // Notifications since the last settle: none means the settle came from time.
    int notesSinceSettle_ = 0;
    int settleNotes_ = 0;  // for the capture trace
    // Changes to elements no page holds, since the last settle and in it.
    int unheldSinceSettle_ = 0;
    int settleUnheld_ = 0;
    // A read the completion rule asked for stands in for a missing event.
    std::optional<TimePoint> tailDueAt_;
    bool timedSettle_ = false;
    // The settle under way: the tabs the gate named, and a settle asked for meanwhile.
    std::vector<GatedTab> tabs_;
    bool settling_ = false;
    bool settleAgain_ = false;
    // Notifications that came while the settle read, for after it.
    std::vector<std::pair<AXElementRef, std::string>> heldNotes_;
    Duration slice_ = settleSlice;
    std::size_t parseAsideFrom_ = parseAsideFrom;
    ScopedTimer nextSlice_;
    // The pages' parses, while they run off the loop.
    std::shared_ptr<AsideJob> aside_;
    std::function<void()> onPagesHidden_;
    ScopedTimer pagesCheck_;
};

}  // namespace velmar
