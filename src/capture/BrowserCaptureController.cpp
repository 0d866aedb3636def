#include "capture/BrowserCaptureController.hpp"

#include "capture/AIAppAllowlist.hpp"
#include "capture/CaptureCounting.hpp"
#include "capture/CaptureDebug.hpp"
#include "parsing/ClaudeTranscriptParser.hpp"
#include "parsing/StopControls.hpp"
#include "platform/Accessibility.hpp"
#include "platform/MainLoop.hpp"
#include "runtime/CaptureDiag.hpp"
#include "surfaces/SurfaceTraits.hpp"

namespace velmar {

namespace {

TurnAssembler::EventHandler stampedWith(std::string slug, TurnAssembler::EventHandler onEvent) {
    return [slug = std::move(slug), onEvent = std::move(onEvent)](const TurnEvent& event) {
        TurnEvent stamped = event;
        stamped.browser = slug;
        onEvent(stamped);
    };
}

std::string roleLetters(const SegmenterSnapshot& snapshot) {
    std::string letters;
    for (const auto& turn : snapshot.turns) {
        const char c = turn.role.empty() ? '?' : turn.role.front();
        letters += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return letters;
}

std::string indexList(const SegmenterSnapshot& snapshot) {
    std::string out = "[";
    for (std::size_t i = 0; i < snapshot.turns.size(); ++i) {
        if (i) out += ", ";
        out += std::to_string(snapshot.turns[i].index);
    }
    return out + "]";
}

const char* boolWord(bool b) { return b ? "true" : "false"; }

}  // namespace

BrowserCaptureController::BrowserCaptureController(RunningApplication app, BrowserProfile profile,
                                                   Accessibility& accessibility, MainLoop& loop,
                                                   CaptureSchedule::Timings timings,
                                                   TurnAssembler::EventHandler onEvent, const Clipboard* clipboard,
                                                   const CaptureDebug* debug)
    : app_(std::move(app)),
      profile_(std::move(profile)),
      accessibility_(accessibility),
      loop_(loop),
      clipboard_(clipboard),
      debug_(debug),
      appElement_(accessibility.applicationElement(app_.pid)),
      gate_(app_.pid, profile_, accessibility, debug),
      router_(stampedWith(profile_.slug, std::move(onEvent))),
      schedule_(loop, timings, [this] { settle(); }, [this](TimePoint t) { sweepAbandoned(t); }) {}

BrowserCaptureController::~BrowserCaptureController() = default;

void BrowserCaptureController::debugLine(const std::string& message) const {
    if (debug_ && debug_->enabled()) debug_->line(message);
}

bool BrowserCaptureController::start() {
    observer_ = accessibility_.createObserver(app_.pid, [this](const AXElementRef&, std::string_view) {
        scheduleSettle();
    });
    if (!observer_) return false;
    for (const auto& name : profile_.notifications) observer_->registerNotification(appElement_.raw(), name);
    schedule_.startSweep();
    scheduleSettle();  // read the browser once shortly after attaching
    if (onPagesHidden_) {
        pagesCheck_ = loop_.postDelayed(pagesCheckDelay, [this] {
            if (gate_.showsWindowsWithoutPages()) onPagesHidden_();
        });
    }
    return true;
}

void BrowserCaptureController::stop() {
    schedule_.stop();
    pagesCheck_.cancel();
    if (observer_) {
        for (const auto& name : profile_.notifications) observer_->unregisterNotification(appElement_.raw(), name);
        observer_.reset();
    }
    router_.stop();
}

void BrowserCaptureController::settle() {
    for (const auto& tab : gate_.allGatedTabs(maxWindows)) processTab(tab);
}

void BrowserCaptureController::processTab(const GatedTab& tab) {
    if (!profile_.captures(tab.surface)) return;
    auto segmenter = AIAppAllowlist::browserSegmenterForSurface(tab.surface, clipboard_);
    if (!segmenter) return;
    auto& diag = CaptureDiag::shared();
    const std::string focusWord = tab.isFocused ? "focused" : "bg";

    if (!tab.conversationKey) {
        if (tab.isFocused) {
            newChatPending_.insert(tab.surface);
            const bool claude = tab.surface == SurfaceKey::claudeAI;
            if (claude) newChatPending_.insert(std::string(SurfaceKey::claudeCowork));
            if (claude) {
                if (auto draft = ClaudeTranscriptParser::readComposerDraft(tab.webArea)) {
                    pendingDrafts_[std::string(SurfaceKey::claudeAI)] = *draft;
                    pendingDrafts_[std::string(SurfaceKey::claudeCowork)] = *draft;
                }
            }
        }
        debugLine("surface=" + tab.surface + " " + focusWord + " keyless view (no conversation id in URL)");
        diag.bump(tab.surface, CaptureDiag::Counter::keylessView);
        return;
    }

    const std::string& key = *tab.conversationKey;
    const std::string convWord = " conv=" + CaptureDebug::keySuffix(key);
    auto snapshot = segmenter->snapshot(tab.webArea, tab.conversationKey);
    if (!snapshot) {
        debugLine("surface=" + tab.surface + convWord + " snapshot=nil");
        diag.bump(tab.surface, CaptureDiag::Counter::parserNil);
        return;
    }
    CaptureCounting::countParsed(tab.surface, *snapshot);

    const std::string composite = compositeKey(tab.surface, key);
    auto consumeNewChat = [&] { return tab.isFocused && newChatPending_.erase(tab.surface) > 0; };

    if (tab.surface == SurfaceKey::claudeDesign) {
        const bool fromNewChat = consumeNewChat();
        router_.route(composite, tab.surface, *snapshot, loop_.now(), fromNewChat);
        const auto* emitter = router_.designEmitter(composite);
        debugLine("surface=" + tab.surface + convWord + " " + focusWord + " units=" +
                  std::to_string(snapshot->turns.size()) + " fromNewChat=" + boolWord(fromNewChat) + " | " +
                  (emitter ? emitter->debugState() : std::string()));
        return;
    }

    router_.judgeCompletion(
        composite, *snapshot, loop_.now(), [&] { return StopControls::shownIn(tab.surface, borrowed(tab.webArea)); },
        [this](TimePoint t) { schedule_.settleAt(t); });
    if (!snapshot->inProject) snapshot->inProject = tab.inProjectFromURL;
    // Decided before routing, as the stabilizer may still skip this snapshot.
    const bool fromNewChat = tab.isFocused && !snapshot->turns.empty() && newChatPending_.contains(tab.surface);
    std::optional<std::string> draft;
    if (fromNewChat) {
        if (auto it = pendingDrafts_.find(tab.surface); it != pendingDrafts_.end()) draft = it->second;
    }
    auto result = router_.route(composite, tab.surface, *snapshot, loop_.now(), fromNewChat, draft);
    CaptureCounting::countRouted(tab.surface, result);
    if (result.stabilizerReset) {
        debugLine("surface=" + tab.surface + convWord + " stabilizer reset (unalignable window) — re-priming");
    }
    if (result.stabilizerSkip) debugLine("surface=" + tab.surface + convWord + " stabilizer skip (unalignable, waiting)");
    if (!result.processed) return;
    if (fromNewChat) newChatPending_.erase(tab.surface);
    if (result.draftConsumed) pendingDrafts_.erase(tab.surface);

    if (debug_ && debug_->enabled()) {
        const auto& processed = result.stabilized ? *result.stabilized : *snapshot;
        const int total = processed.turns.empty() ? 0 : processed.turns.front().total;
        const auto* assembler = router_.assembler(composite);
        debugLine("surface=" + tab.surface + convWord + " " + focusWord + " turns=" +
                  std::to_string(processed.turns.size()) + "/tot" + std::to_string(total) +
                  " roles=" + roleLetters(processed) + " idx=" + indexList(processed) +
                  " complete=" + boolWord(processed.responseComplete) + " newAsm=" + boolWord(result.newAssembler) +
                  " fromNewChat=" + boolWord(fromNewChat) + " | " + (assembler ? assembler->debugState() : ""));
    }
}

void BrowserCaptureController::sweepAbandoned(TimePoint now) { router_.flushIdle(now, schedule_.timings().grace); }

}  // namespace velmar
