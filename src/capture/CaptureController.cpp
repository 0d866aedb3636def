#include "capture/CaptureController.hpp"

#include "parsing/StopControls.hpp"
#include "platform/Accessibility.hpp"
#include "platform/MainLoop.hpp"

namespace velmar {

CaptureController::CaptureController(RunningApplication app, std::shared_ptr<const Segmenter> segmenter,
                                     Accessibility& accessibility, MainLoop& loop, CaptureDiag& diag,
                                     CaptureSchedule::Timings timings, TurnAssembler::EventHandler onEvent)
    : app_(std::move(app)),
      segmenter_(std::move(segmenter)),
      accessibility_(accessibility),
      loop_(loop),
      appElement_(accessibility.applicationElement(app_.pid)),
      schedule_(loop, timings, [this] { settle(); }, [this](TimePoint t) { sweepAbandoned(t); }),
      feed_(std::move(onEvent), diag, ConversationFeed::MarkPolicy::clearedWhenTaken,
            [this](const ReplyCompletion::ReadAgain& r) { schedule_.readAgain(r); }) {}

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
            take(*snapshot, false);
            return;
        }
        feed_.markNewChat(segmenter_->surface());
        primeWithRetry(std::move(rest));
    });
}

void CaptureController::settle() {
    if (auto snapshot = segmenter_->snapshot(appElement_)) {
        take(*snapshot, true);
        return;
    }
    feed_.markNewChat(segmenter_->surface());
    if (auto draft = segmenter_->composerDraft(appElement_)) feed_.keepDraft(segmenter_->surface(), std::move(*draft));
}

void CaptureController::feed(SegmenterSnapshot snapshot) { take(snapshot, false); }

void CaptureController::take(SegmenterSnapshot& snapshot, bool judged) {
    const std::string slot = segmenter_->surface();
    if (!snapshot.conversationKey) {
        // An empty new chat: what is typed here may be the first prompt.
        feed_.markNewChat(slot);
        if (snapshot.composerDraft) feed_.keepDraft(slot, *snapshot.composerDraft);
        return;
    }
    ConversationFeed::Read read{*snapshot.conversationKey, snapshot.surface.value_or(slot), slot, true, nullptr,
                                schedule_.lastNotified()};
    if (judged) read.stopShown = [this, surface = read.surface] { return StopControls::shownIn(surface, borrowed(appElement_)); };
    feed_.ingest(read, snapshot, loop_.now());
}

std::optional<std::string> CaptureController::pendingDraft() const {
    auto it = feed_.drafts().find(segmenter_->surface());
    if (it == feed_.drafts().end()) return std::nullopt;
    return it->second;
}

void CaptureController::sweepAbandoned(TimePoint now) { feed_.router().flushIdle(now, schedule_.timings().grace); }

void CaptureController::stop() {
    schedule_.stop();
    primeWork_.cancel();
    if (observer_) {
        for (auto name : notifications) observer_->unregisterNotification(appElement_.raw(), name);
        observer_.reset();
    }
    feed_.router().stop();
}

}  // namespace velmar
