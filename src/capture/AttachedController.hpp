#pragma once
// How the application delegate drives a capture controller, native or browser,
// without knowing which it has.

#include "capture/TurnAssembler.hpp"
#include "platform/Workspace.hpp"

namespace velmar {

class AttachedController {
public:
    virtual ~AttachedController() = default;

    // The running application being captured.
    virtual const RunningApplication& app() const = 0;
    // Begins capturing; false when the application cannot be observed, in
    // which case the controller is not to be kept.
    virtual bool start() = 0;
    // Ends capturing: flushes and drops every conversation's state.
    virtual void stop() = 0;
    // Where conversations seen before a restart resume (see TurnAssembler).
    virtual void setResumeLookup(TurnAssembler::ResumeLookup lookup) = 0;
};

}  // namespace velmar
