#pragma once
// Capture for one running native AI application (Claude Desktop, the ChatGPT
// desktop app): waits until its window stops changing, segments it once,
// and routes the snapshot through the conversation's stabilizer and
// assembler. Turn events leave through `onEvent`.

#include "capture/AttachedController.hpp"
#include "capture/CaptureSchedule.hpp"
#include "capture/ConversationRouter.hpp"
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
class MainLoop;

class CaptureController final : public AttachedController {
public:
    static constexpr std::array<std::string_view, 4> notifications{"AXValueChanged", "AXLayoutChanged",
                                                                   "AXLiveRegionChanged", "AXCreated"};

    CaptureController(RunningApplication app, std::shared_ptr<const Segmenter> segmenter, Accessibility& accessibility,
                      MainLoop& loop, CaptureSchedule::Timings timings, TurnAssembler::EventHandler onEvent);
    ~CaptureController() override;

    const RunningApplication& app() const override { return app_; }
    bool start() override;
    void stop() override;
    void setResumeLookup(TurnAssembler::ResumeLookup lookup) override { router_.setResumeLookup(std::move(lookup)); }

    // Every observed notification, whatever its name or element.
    void scheduleSettle() { schedule_.notify(); }
    // The single entry of snapshots into the pipeline.
    void feed(const SegmenterSnapshot& snapshot);
    void sweepAbandoned(TimePoint now);

    int settleRuns() const { return schedule_.settleRuns(); }
    bool newChatPending() const { return newChatPending_; }
    const std::optional<std::string>& pendingDraft() const { return pendingDraft_; }
    const ConversationRouter& router() const { return router_; }
    const CaptureSchedule& schedule() const { return schedule_; }

private:
    void settle();
    void primeWithRetry(std::vector<int> delaysMs);

    const RunningApplication app_;
    const std::shared_ptr<const Segmenter> segmenter_;
    Accessibility& accessibility_;
    MainLoop& loop_;
    const AXElement appElement_;
    ConversationRouter router_;
    CaptureSchedule schedule_;
    std::unique_ptr<AccessibilityObserver> observer_;
    ScopedTimer primeWork_;
    bool newChatPending_ = false;
    std::optional<std::string> pendingDraft_;
};

}  // namespace velmar
