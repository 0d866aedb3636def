#include "capture/CaptureController.hpp"

#include "capture/CaptureCounting.hpp"
#include "parsing/StopControls.hpp"
#include "platform/Accessibility.hpp"
#include "platform/MainLoop.hpp"

namespace velmar {

CaptureController::CaptureController(RunningApplication app, std::shared_ptr<const Segmenter> segmenter,
                                     Accessibility& accessibility, MainLoop& loop, CaptureSchedule::Timings timings,
                                     TurnAssembler::EventHandler onEvent)
    : app_(std::move(app)),
      segmenter_(std::move(segmenter)),
      accessibility_(accessibility),
      loop_(loop),
      appElement_(accessibility.applicationElement(app_.pid)),
      router_(std::move(onEvent)),
      schedule_(loop, timings, [this] { settle(); }, [this](TimePoint t) { sweepAbandoned(t); }) {}

CaptureController::~CaptureController() = default;

bool CaptureController::start() {
    // Chromium- and Electron-based apps expose their full tree only when asked.
    if (const auto& raw = appElement_.raw()) {
        raw->setBoolAttribute("AXEnhancedUserInterface", true);
        raw->setBoolAttribute("AXManualAccessibility", true);
    }
    // The observer dies with the controller, so its callbacks never outlive it.
    observer_ = accessibility_.createObserver(app_.pid, [this](const AXElementRef&, std::string_view) {
        scheduleSettle();
    });
    if (!observer_) return false;
    for (auto name : notifications) observer_->registerNotification(appElement_.raw(), name);
    schedule_.startSweep();
    primeWithRetry(segmenter_->primeDelaysMs());
    return true;
}

void CaptureController::primeWithRetry(std::vector<int> delaysMs) {
    if (delaysMs.empty()) return;
    const Duration delay(delaysMs.front());
    delaysMs.erase(delaysMs.begin());
    primeWork_ = loop_.postDelayed(delay, [this, rest = std::move(delaysMs)]() mutable {
        if (auto snapshot = segmenter_->snapshot(appElement_)) {
            feed(*snapshot);
            return;
        }
        newChatPending_ = true;
        primeWithRetry(std::move(rest));
    });
}

void CaptureController::settle() {
    if (auto snapshot = segmenter_->snapshot(appElement_)) {
        if (snapshot->conversationKey) {
            const std::string surface = snapshot->surface.value_or(segmenter_->surface());
            router_.judgeCompletion(
                *snapshot->conversationKey, *snapshot, loop_.now(),
                [&] { return StopControls::shownIn(surface, borrowed(appElement_)); },
                [this](TimePoint t) { schedule_.settleAt(t); });
        }
        feed(*snapshot);
        return;
    }
    newChatPending_ = true;
    if (auto draft = segmenter_->composerDraft(appElement_)) pendingDraft_ = std::move(draft);
}

void CaptureController::feed(const SegmenterSnapshot& snapshot) {
    if (!snapshot.conversationKey) {
        // An empty new chat: what is typed here may be the first prompt.
        newChatPending_ = true;
        if (snapshot.composerDraft) pendingDraft_ = snapshot.composerDraft;
        return;
    }
    const bool fromNewChat = newChatPending_ && !snapshot.turns.empty();
    if (fromNewChat) newChatPending_ = false;
    const std::string surface = snapshot.surface.value_or(segmenter_->surface());
    CaptureCounting::countParsed(surface, snapshot);
    auto result = router_.route(*snapshot.conversationKey, surface, snapshot, loop_.now(), fromNewChat,
                                fromNewChat ? pendingDraft_ : std::nullopt);
    CaptureCounting::countRouted(surface, result);
    if (result.draftConsumed) pendingDraft_.reset();
}

void CaptureController::sweepAbandoned(TimePoint now) { router_.flushIdle(now, schedule_.timings().grace); }

void CaptureController::stop() {
    schedule_.stop();
    primeWork_.cancel();
    if (observer_) {
        for (auto name : notifications) observer_->unregisterNotification(appElement_.raw(), name);
        observer_.reset();
    }
    router_.stop();
}

}  // namespace velmar
