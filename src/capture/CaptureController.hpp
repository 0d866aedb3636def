#pragma once
// Capture for one running native AI application (Claude Desktop, the ChatGPT
// desktop app): waits until its window stops changing, segments it once,
// and routes the snapshot through the conversation's stabilizer and
// assembler. Turn events leave through `onEvent`.

#include "capture/AttachedController.hpp"
#include "capture/CaptureSchedule.hpp"
#include "capture/ConversationFeed.hpp"
#include "ax/AXElement.hpp"
#include "parsing/Segmenter.hpp"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class Accessibility;
class AccessibilityObserver;
class CaptureDiag;
class MainLoop;

class CaptureController final : public AttachedController {
public:
    static constexpr std::array<std::string_view, 4> notifications{"AXValueChanged", "AXLayoutChanged",
                                                                   "AXLiveRegionChanged", "AXCreated"};

    // `diag` counts what capture saw and must outlive the controller.
    CaptureController(RunningApplication app, std::shared_ptr<const Segmenter> segmenter, Accessibility& accessibility,
                      MainLoop& loop, CaptureDiag& diag, CaptureSchedule::Timings timings,
                      TurnAssembler::EventHandler onEvent);
    ~CaptureController() override;

    const RunningApplication& app() const override { return app_; }
    bool start() override;
    void stop() override;
    void setResumeLookup(TurnAssembler::ResumeLookup lookup) override {
        feed_.router().setResumeLookup(std::move(lookup));
    }

    // Every observed notification, whatever its name or element.
    void scheduleSettle() { schedule_.notify(); }
    // The single entry of snapshots into the pipeline.
    void feed(SegmenterSnapshot snapshot);
    void sweepAbandoned(TimePoint now);

    int settleRuns() const { return schedule_.settleRuns(); }
    bool newChatPending() const { return feed_.newChatSlots().contains(segmenter_->surface()); }
    std::optional<std::string> pendingDraft() const;
    const ConversationRouter& router() const { return feed_.router(); }
    const CaptureSchedule& schedule() const { return schedule_; }

private:
    void settle();
    // `judged`: a settled read, whose last reply is judged for completion.
    void take(SegmenterSnapshot& snapshot, bool judged);
    void primeWithRetry(std::vector<int> delaysMs);

    const RunningApplication app_;
    const std::shared_ptr<const Segmenter> segmenter_;
    Accessibility& accessibility_;
    MainLoop& loop_;
    const AXElement appElement_;
    CaptureSchedule schedule_;
    ConversationFeed feed_;
    std::unique_ptr<AccessibilityObserver> observer_;
    ScopedTimer primeWork_;
};

}  // namespace velmar
