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

// What a notification says changed about the element it names; absent for
// the browser's own windows and loads, which say nothing about a page's elements.
std::optional<AXMirror::Change> changeOf(std::string_view notification) {
    if (notification == "AXValueChanged" || notification == "AXLiveRegionChanged") return AXMirror::Change::content;
    if (notification == "AXLayoutChanged" || notification == "AXCreated" || notification == "AXLayoutComplete" ||
        notification == "AXUIElementDestroyed")
        return AXMirror::Change::children;
    if (notification == "AXTitleChanged" || notification == "AXFocusedUIElementChanged")
        return AXMirror::Change::attributes;
    return std::nullopt;
}

}  // namespace

BrowserCaptureController::BrowserCaptureController(RunningApplication app, BrowserProfile profile,
                                                   Accessibility& accessibility, MainLoop& loop, CaptureDiag& diag,
                                                   CaptureSchedule::Timings timings,
                                                   TurnAssembler::EventHandler onEvent, PasteboardCapture* pastes,
                                                   const CaptureDebug* debug)
    : app_(std::move(app)),
      profile_(std::move(profile)),
      accessibility_(accessibility),
      loop_(loop),
      pastes_(pastes),
      debug_(debug),
      appElement_(accessibility.applicationElement(app_.pid)),
      gate_(app_.pid, profile_, accessibility, debug, &loop),
      schedule_(loop, timings, [this] { settle(); }, [this](TimePoint t) { sweepAbandoned(t); }),
      feed_(stampedWith(profile_.slug, std::move(onEvent)), diag, ConversationFeed::MarkPolicy::clearedWhenProcessed,
            [this](const ReplyCompletion::ReadAgain& r) {
                // That read stands in for an event that may never come: it
                // reads again what events would have named.
                if (!tailDueAt_ || r.at < *tailDueAt_) tailDueAt_ = r.at;
                schedule_.readAgain(r);
            }) {}

BrowserCaptureController::~BrowserCaptureController() {
    // Parses off the loop read this controller's pages: they end first.
    if (aside_) aside_->cancel();
}

void BrowserCaptureController::debugLine(const std::string& message) const {
    if (debug_ && debug_->enabled()) debug_->line(message);
}

bool BrowserCaptureController::start() {
    observer_ = accessibility_.createObserver(
        app_.pid, [this](const AXElementRef& element, std::string_view notification) { noted(element, notification); });
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
    if (aside_) std::exchange(aside_, nullptr)->cancel();
    schedule_.stop();
    nextSlice_.cancel();
    gate_.giveUpReadAhead();
    settling_ = settleAgain_ = false;
    heldNotes_.clear();
    tabs_.clear();
    pagesCheck_.cancel();
    if (observer_) {
        for (const auto& name : profile_.notifications) observer_->unregisterNotification(appElement_.raw(), name);
        observer_.reset();
    }
    feed_.router().stop();
    watched_.clear();
}

void BrowserCaptureController::noted(const AXElementRef& element, std::string_view notification) {
    if (settling_) {
        // What changes while a settle reads is read by the next settle, the
        // events for one element taken together: read as each came, an
        // element renamed in waves (Claude's "Message N of M") would be read
        // once a wave. Past the cap, the pages are read whole instead.
        schedule_.heard();
        if (heldNotes_.size() < maxHeldNotes) heldNotes_.emplace_back(element, std::string(notification));
        else heldNotes_.assign(1, {nullptr, std::string()});
        return;
    }
    const auto change = changeOf(notification);
    if (!element || sameElement(element, appElement_.raw())) {
        // Somewhere in the browser: nothing is vouched for.
        forgetAllPages();
        gate_.forgetStructure();
    } else if (!change) {
        // A window came, went or came forward, or a page loaded: where the
        // pages are is looked for again.
        gate_.forgetStructure();
    } else {
        const TimePoint now = loop_.now();
        bool held = false;
        for (auto& watched : watched_) {
            // A page's own name is its tab's title: no parser reads it, and
            // some pages rename themselves every second.
            if (notification == "AXTitleChanged" && sameElement(element, watched->webArea)) continue;
            if (watched->mirror.changed(element, *change)) {
                watched->changedAt = now;
                ++watched->changesSinceRead;
                held = true;
            }
        }
        if (!held) {
            // A name or state no page holds (a tab renaming itself, the
            // browser's own controls) is nothing to read: a tab switch also
            // changes a window's children, a navigation its page.
            if (*change == AXMirror::Change::attributes) return;
            // Anything else may be a new element of a page whose own event
            // was lost: the pages' cheap checks run.
            ++unheldSinceSettle_;
        }
    }
    ++notesSinceSettle_;
    scheduleSettle();
}

void BrowserCaptureController::forgetAllPages() {
    for (auto& watched : watched_) watched->mirror.forget();
}

std::size_t BrowserCaptureController::mirroredElements() const {
    std::size_t n = 0;
    for (const auto& watched : watched_) n += watched->mirror.size();
    return n;
}

BrowserCaptureController::Watched& BrowserCaptureController::watch(const AXElement& webArea) {
    for (auto& watched : watched_) {
        if (sameElement(watched->webArea, webArea.raw())) return *watched;
    }
    auto& added = watched_.emplace_back(std::make_unique<Watched>());
    added->webArea = webArea.raw();
    added->verifiedAt = loop_.now();
    return *added;
}

void BrowserCaptureController::settle() {
    if (settling_) {
        settleAgain_ = true;
        return;
    }
    const TimePoint now = loop_.now();
    timedSettle_ = notesSinceSettle_ == 0 || (tailDueAt_ && *tailDueAt_ <= now);
    if (timedSettle_) tailDueAt_.reset();
    settleNotes_ = std::exchange(notesSinceSettle_, 0);
    settleUnheld_ = std::exchange(unheldSinceSettle_, 0);
    settling_ = true;
    readWindows();
}

void BrowserCaptureController::readWindows() {
    const TimePoint until = loop_.now() + slice_;
    if (!gate_.readAhead([&] { return loop_.now() >= until; },
                         [this] {
                             if (settling_) readWindows();
                         })) {
        resumeLater(gate_.waitingForAnswers(), &BrowserCaptureController::readWindows, [this] {
            gate_.giveUpReadAhead();
            gateTabs();
        });
        return;
    }
    gateTabs();
}

void BrowserCaptureController::resumeLater(bool waiting, void (BrowserCaptureController::*resume)(),
                                           Task giveUp) {
    // The browser's calls time out long before `answersDue`; should the
    // answers still not come, the settle must not wait for ever (and hold
    // every event with it): it goes on with what it has.
    if (!waiting) nextSlice_ = loop_.postDelayed(Duration{0}, [this, resume] { (this->*resume)(); });
    else nextSlice_ = loop_.postDelayed(answersDue, std::move(giveUp));
}

void BrowserCaptureController::gateTabs() {
    nextSlice_.cancel();
    tabs_ = gate_.allGatedTabs(maxWindows);
    // Pages no longer gated are forgotten: a page shown again is read whole.
    std::erase_if(watched_, [&](const std::unique_ptr<Watched>& watched) {
        return std::none_of(tabs_.begin(), tabs_.end(),
                            [&](const GatedTab& tab) { return sameElement(tab.webArea.raw(), watched->webArea); });
    });
    for (const auto& tab : tabs_) {
        if (parses(tab)) doubt(watch(tab.webArea), tab);
    }
    readAhead();
}

bool BrowserCaptureController::parses(const GatedTab& tab) {
    return profile_.captures(tab.surface) && tab.conversationKey && segmenterFor(tab.surface);
}

void BrowserCaptureController::doubt(Watched& watched, const GatedTab& tab) {
    const TimePoint now = loop_.now();
    watched.changesRead = std::exchange(watched.changesSinceRead, 0);
    if (watched.changedAt && *watched.changedAt > watched.verifiedAt &&
        now - watched.verifiedAt >= watched.verifyEvery()) {
        watched.mirror.forget();
        watched.verifiedAt = now;
        debugLine("surface=" + tab.surface + " page read whole (verification)");
    } else if (timedSettle_ || watched.changesRead > 0 || settleUnheld_ > 0) {
        // Events do not name everything that changed (Chromium adds to a
        // list without a word now and then): the transcript's length and its
        // last messages are read again whenever the page changed, and the
        // end of the page when time, not an event, asks for the read.
        watched.mirror.refreshTail(tab.webArea.raw(), timedSettle_ ? unvouchedTail : 16, lastMessages);
    }
    if (watched.mirror.size() == 0 && !watched.wholeReadFrom) watched.wholeReadFrom = now;
}

void BrowserCaptureController::readAhead() {
    const TimePoint until = loop_.now() + slice_;
    const auto due = [&] { return loop_.now() >= until; };
    for (const auto& tab : tabs_) {
        if (!parses(tab)) continue;
        // The loop goes on while the browser answers; the answers resume the reading.
        AXMirror& mirror = watch(tab.webArea).mirror;
        if (!mirror.prefetch(tab.webArea.raw(), accessibility_, due, [this] {
                if (settling_) readAhead();
            })) {
            resumeLater(mirror.waiting(), &BrowserCaptureController::readAhead, [this] {
                for (auto& watched : watched_) watched->mirror.dropRead();
                finishSettle();
            });
            return;
        }
    }
    finishSettle();
}

void BrowserCaptureController::finishSettle() {
    nextSlice_.cancel();
    // Everything the parses need is read: they run off the loop, so a long
    // page never holds it, with events held as during the reads. A parse
    // that needed more than its mirror held (or the clipboard) is done again
    // on the loop.
    struct Parse {
        Watched* watched;
        AXElement page;
        const BrowserSegmenter* segmenter;
        std::optional<std::string> key;
    };
    std::vector<Parse> parses;
    for (const auto& tab : tabs_) {
        if (!this->parses(tab)) continue;
        Watched& watched = watch(tab.webArea);
        const BrowserSegmenter* segmenter = segmenterFor(tab.surface);
        if (keepsParse(watched, tab) || watched.mirror.size() < parseAsideFrom_) continue;
        watched.mirror.readOnlyHeld(true);
        parses.push_back({&watched, watched.mirror.read(tab.webArea), segmenter, tab.conversationKey});
    }
    if (parses.empty()) return completeSettle();
    // What the passes drop is let go on the loop, where the platform's elements are released.
    auto dropped = std::make_shared<std::vector<std::shared_ptr<void>>>();
    aside_ = loop_.runAside(
        [parses, into = dropped.get()] {
            for (const auto& parse : parses) {
                bool needsLoop = false;
                auto snapshot = parse.segmenter->snapshotAside(parse.page, parse.key, needsLoop);
                if (needsLoop || parse.watched->mirror.missed()) continue;
                // The pass ends here: what it would drop is found with the page
                // at hand. The stop controls, read only when a reply stood
                // still, are looked for on the loop in what the pass kept.
                parse.watched->aside = std::move(snapshot);
                into->push_back(parse.watched->mirror.endPassAside());
            }
        },
        [this, parses, dropped] {
            aside_.reset();
            dropped->clear();
            for (const auto& parse : parses) parse.watched->mirror.readOnlyHeld(false);
            completeSettle();
        });
}

void BrowserCaptureController::completeSettle() {
    settling_ = false;
    const auto tabs = std::move(tabs_);
    tabs_.clear();
    for (const auto& tab : tabs) processTab(tab);
    for (const auto& [element, notification] : std::exchange(heldNotes_, {})) noted(element, notification);

    // A page that changed since it was last read whole is read whole once
    // changes have stood for the period: a settle then, whatever else is due.
    const TimePoint now = loop_.now();
    std::optional<TimePoint> verifyAt;
    for (const auto& watched : watched_) {
        if (watched->wholeReadFrom) {
            watched->wholeRead = std::chrono::duration_cast<Duration>(now - *watched->wholeReadFrom);
            watched->wholeReadFrom.reset();
        }
        if (!watched->changedAt || *watched->changedAt <= watched->verifiedAt) continue;
        const TimePoint due = watched->verifiedAt + watched->verifyEvery();
        if (!verifyAt || due < *verifyAt) verifyAt = due;
    }
    if (verifyAt) schedule_.settleAt(std::max(*verifyAt, now));
    if (std::exchange(settleAgain_, false)) scheduleSettle();
}

bool BrowserCaptureController::keepsParse(const Watched& watched, const GatedTab& tab) {
    return !watched.mirror.stale() && watched.snapshot && watched.snapshotKey == tab.conversationKey;
}

std::optional<SegmenterSnapshot> BrowserCaptureController::read(Watched& watched, const GatedTab& tab,
                                                                const AXElement& page, const BrowserSegmenter& segmenter) {
    if (watched.aside) {
        // Parsed off the loop, its pass over.
        watched.snapshot = std::move(*watched.aside);
        watched.snapshotKey = tab.conversationKey;
        return watched.snapshot;
    }
    if (keepsParse(watched, tab)) return watched.snapshot;
    watched.parsed = true;
    watched.snapshot = segmenter.snapshot(page, tab.conversationKey);
    watched.snapshotKey = tab.conversationKey;
    return watched.snapshot;
}

const BrowserSegmenter* BrowserCaptureController::segmenterFor(const std::string& surface) {
    auto it = segmenters_.find(surface);
    if (it == segmenters_.end())
        it = segmenters_.emplace(surface, AIAppAllowlist::browserSegmenterForSurface(surface, pastes_)).first;
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
    Watched& watched = watch(tab.webArea);
    // Everything this settle reads of the page goes through its mirror.
    const AXElement page = watched.mirror.read(tab.webArea);
    auto snapshot = read(watched, tab, page, *segmenter);
    const bool parsedAside = std::exchange(watched.aside, std::nullopt).has_value();
    // A parse's pass ends after the stop-control read below, whatever way this returns.
    struct PassEnd {
        Watched& watched;
        ~PassEnd() {
            if (std::exchange(watched.parsed, false)) watched.mirror.endPass();
        }
    } passEnd{watched};
    if (!snapshot) {
        debugLine(prefix + " snapshot=nil mirrored=" + std::to_string(watched.mirror.size()));
        feed_.diag().bump(tab.surface, CaptureDiag::Counter::parserNil);
        return;
    }

    const std::string composite = compositeKey(tab.surface, key);
    const bool design = tab.surface == SurfaceKey::claudeDesign;
    ConversationFeed::Read read{composite, tab.surface, tab.surface, tab.isFocused, nullptr, schedule_.lastNotified()};
    if (!design) {
        read.stopShown = [&tab, &page] { return StopControls::shownIn(tab.surface, borrowed(page)); };
        if (!snapshot->inProject) snapshot->inProject = tab.inProjectFromURL;
    }
    const auto [result, fromNewChat] = feed_.ingest(read, *snapshot, loop_.now());
    const std::string focusWord = tab.isFocused ? " focused" : " bg";
    const std::string pageWord = " page=" + std::to_string(watched.mirror.size()) + (watched.parsed ? "/read" : parsedAside ? "/aside" : "/kept") +
                                 "+" + std::to_string(watched.changesRead) + "/" +
                                 std::to_string(settleNotes_) + (timedSettle_ ? " timed" : "");

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
    debugLine(prefix + focusWord + pageWord + " turns=" + std::to_string(processed.turns.size()) + "/tot" + std::to_string(total) +
              " roles=" + roleLetters(processed) + " idx=" + indexList(processed) +
              " complete=" + boolWord(processed.responseComplete) + " newAsm=" + boolWord(result.newAssembler) +
              " fromNewChat=" + boolWord(fromNewChat) + " | " + (assembler ? assembler->debugState() : ""));
}

void BrowserCaptureController::sweepAbandoned(TimePoint now) {
    feed_.router().flushIdle(now, schedule_.timings().grace);
}

}  // namespace velmar
