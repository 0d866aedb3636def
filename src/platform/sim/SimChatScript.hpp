#pragma once
// A scripted chat for the running agent in development: applications that
// start on the simulated desktop, and window contents that change on a
// schedule, each change posting the notification a real application would.
// Lets the whole agent (real core, real loop) be exercised end to end
// without a desktop.
//
// Script (JSON): {"applications": [{"pid", "app_id", "name"}],
//                 "steps": [{"after_ms", "pid", "window": <tree>}]}
// where a tree is what SimElement::fromJSON reads. Steps run in order, each
// `after_ms` after the previous one; a step replaces the window's content.

#include "platform/MainLoop.hpp"
#include "platform/sim/SimAccessibility.hpp"
#include "platform/sim/SimElement.hpp"
#include "platform/sim/SimWorkspace.hpp"

#include <nlohmann/json.hpp>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmar::sim {

class SimChatScript {
public:
    struct Step {
        Duration after{0};
        int pid = 0;
        nlohmann::json window;
    };

    // Absent, with the reason in `error`, when the script cannot be read.
    static std::optional<SimChatScript> parse(const nlohmann::json& script, std::string& error);

    // Launches the applications now and plays the steps on `loop`.
    void play(MainLoop& loop, SimWorkspace& workspace, SimAccessibility& accessibility);

    const std::vector<RunningApplication>& applications() const { return applications_; }
    const std::vector<Step>& steps() const { return steps_; }

private:
    void runStep(std::size_t index, MainLoop& loop, SimAccessibility& accessibility);

    std::vector<RunningApplication> applications_;
    std::vector<Step> steps_;
    std::map<int, SimElementPtr> windows_;
    TimerHandle next_;
};

}  // namespace velmar::sim
