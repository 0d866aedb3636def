#include "capture/BrowserCaptureController.hpp"

#include "capture/AIAppAllowlist.hpp"
#include "capture/CaptureDebug.hpp"
#include "capture/CaptureDiag.hpp"
#include "parsing/ClaudeTranscriptParser.hpp"
#include "parsing/StopControls.hpp"
#include "platform/Accessibility.hpp"
#include "platform/MainLoop.hpp"
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
                                                   Accessibility& accessibility, MainLoop& loop, CaptureDiag& diag,
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
      schedule_(loop, timings, [this] { settle(); }, [this](TimePoint t) { sweepAbandoned(t); }),
      feed_(stampedWith(profile_.slug, std::move(onEvent)), diag, ConversationFeed::MarkPolicy::clearedWhenProcessed,
            [this](const ReplyCompletion::ReadAgain& r) { schedule_.readAgain(r); }) {}

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
    feed_.router().stop();
}

void BrowserCaptureController::settle() {
    for (const auto& tab : gate_.allGatedTabs(maxWindows)) processTab(tab);
}

const BrowserSegmenter* BrowserCaptureController::segmenterFor(const std::string& surface) {
    auto it = segmenters_.find(surface);
    if (it == segmenters_.end())
        it = segmenters_.emplace(surface, AIAppAllowlist::browserSegmenterForSurface(surface, clipboard_)).first;
    return it->second.get();
}

void BrowserCaptureController::keylessView(const GatedTab& tab) {
    if (tab.isFocused) {
        feed_.markNewChat(tab.surface);
        if (tab.surface == SurfaceKey::claudeAI) {
            feed_.markNewChat(std::string(SurfaceKey::claudeCowork));
            if (auto draft = ClaudeTranscriptParser::readComposerDraft(tab.webArea)) {
                feed_.keepDraft(std::string(SurfaceKey::claudeAI), *draft);
                feed_.keepDraft(std::string(SurfaceKey::claudeCowork), *draft);
            }
        }
    }
    debugLine("surface=" + tab.surface + " " + (tab.isFocused ? "focused" : "bg") +
              " keyless view (no conversation id in URL)");
    feed_.diag().bump(tab.surface, CaptureDiag::Counter::keylessView);
}

void BrowserCaptureController::processTab(const GatedTab& tab) {
    if (!profile_.captures(tab.surface)) return;
    const auto* segmenter = segmenterFor(tab.surface);
    if (!segmenter) return;
    if (!tab.conversationKey) return keylessView(tab);

    const std::string& key = *tab.conversationKey;
    const std::string prefix = "surface=" + tab.surface + " conv=" + CaptureDebug::keySuffix(key);
    auto snapshot = segmenter->snapshot(tab.webArea, tab.conversationKey);
    if (!snapshot) {
        debugLine(prefix + " snapshot=nil");
        feed_.diag().bump(tab.surface, CaptureDiag::Counter::parserNil);
        return;
    }

    const std::string composite = compositeKey(tab.surface, key);
    const bool design = tab.surface == SurfaceKey::claudeDesign;
    ConversationFeed::Read read{composite, tab.surface, tab.surface, tab.isFocused};
    if (!design) {
        read.stopShown = [&tab] { return StopControls::shownIn(tab.surface, borrowed(tab.webArea)); };
        if (!snapshot->inProject) snapshot->inProject = tab.inProjectFromURL;
    }
    const auto [result, fromNewChat] = feed_.ingest(read, *snapshot, loop_.now());
    const std::string focusWord = tab.isFocused ? " focused" : " bg";

    if (design) {
        const auto* emitter = feed_.router().designEmitter(composite);
        debugLine(prefix + focusWord + " units=" + std::to_string(snapshot->turns.size()) +
                  " fromNewChat=" + boolWord(fromNewChat) + " | " + (emitter ? emitter->debugState() : std::string()));
        return;
    }
    if (result.stabilizerReset) debugLine(prefix + " stabilizer reset (unalignable window) — re-priming");
    if (result.stabilizerSkip) debugLine(prefix + " stabilizer skip (unalignable, waiting)");
    if (!result.processed || !debug_ || !debug_->enabled()) return;

    const auto& processed = result.stabilized ? *result.stabilized : *snapshot;
    const int total = processed.turns.empty() ? 0 : processed.turns.front().total;
    const auto* assembler = feed_.router().assembler(composite);
    debugLine(prefix + focusWord + " turns=" + std::to_string(processed.turns.size()) + "/tot" + std::to_string(total) +
              " roles=" + roleLetters(processed) + " idx=" + indexList(processed) +
              " complete=" + boolWord(processed.responseComplete) + " newAsm=" + boolWord(result.newAssembler) +
              " fromNewChat=" + boolWord(fromNewChat) + " | " + (assembler ? assembler->debugState() : ""));
}

void BrowserCaptureController::sweepAbandoned(TimePoint now) {
    feed_.router().flushIdle(now, schedule_.timings().grace);
}

}  // namespace velmar
