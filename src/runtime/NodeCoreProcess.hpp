#pragma once
// The bridge to the core process: a Node program ("core.mjs") run as a child.
// It writes messages to the child's input as JSON lines, splits the child's
// output into lines and hands every JSON object to `onMessage`, relaunches the
// child 2 s after every exit, and runs the orderly shutdown that termination
// waits for.
//
// Turns are never lost and never stored twice. Each turn line carries its id
// ("turn_id") and is appended, synced, to the delivery journal before any core
// sees it; it leaves the journal only when a core answers "event_result" with
// that id and "stored" (after syncing its own store). Whatever is unconfirmed
// when a core dies, or when the agent itself died, goes again, in order, to
// the next core after its session; a core that already stored it answers
// "stored" without storing it again. A core that answers "failed" (its disk
// is full) keeps its turns in the journal: they are sent again after a
// back-off of 2 s doubling to 60 s, and `storageFull()` holds until one is
// stored. A core that answers without ids confirms the oldest turn in flight
// with each "event_result": it answers in order, one per turn line.
//
// While no core accepts turns (none running, its "ready" not yet answered, or
// its input stalled past the outgoing bound) they wait in the journal, which
// holds a bounded number in memory and reads the rest from disk.

#include "capture/TurnEvent.hpp"
#include "platform/MainLoop.hpp"
#include "platform/ProcessLauncher.hpp"
#include "runtime/CoreContract.hpp"
#include "runtime/DeliveryJournal.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace velmar {

class CaptureDiag;
class InstallLayout;
class LogSink;
class ProcessEnvironment;

class NodeCoreProcess : public std::enable_shared_from_this<NodeCoreProcess> {
public:
    static constexpr Duration restartDelay{2000};
    static constexpr Duration shutdownBackstop{5000};
    static constexpr Duration sigtermGrace{2000};
    static constexpr Duration firstRetryDelay{2000};
    static constexpr Duration maxRetryDelay{60000};
    static constexpr std::size_t maxOutgoingBytes = 4 * 1024 * 1024;
    static constexpr std::size_t maxLineBytes = 16 * 1024 * 1024;
    static constexpr const char* pendingTurnsFileName = DeliveryJournal::fileName;

    struct Dependencies {
        MainLoop& loop;
        ProcessLauncher& launcher;
        LogSink& log;
        CaptureDiag& diag;
    };

    // Absent when there is no core script: neither `coreScriptOverride` (a
    // development build's own script, which must exist when given) nor the
    // layout's "core.mjs". `environment` is the child's whole environment;
    // `stateDirectory` holds the delivery journal. Starts nothing.
    static std::shared_ptr<NodeCoreProcess> create(const InstallLayout& layout,
                                                   const std::optional<std::filesystem::path>& coreScriptOverride,
                                                   std::map<std::string, std::string> environment,
                                                   std::filesystem::path stateDirectory, Dependencies deps);

    // $XDG_STATE_HOME/velmar, or ~/.local/state/velmar.
    static std::filesystem::path defaultStateDirectory(const ProcessEnvironment& env);

    ~NodeCoreProcess();

    // Every JSON object the core writes, on the main loop.
    std::function<void(const nlohmann::json&)> onMessage;

    void start();
    // Writes one message as a line, or drops it when no core runs (or its
    // input is stalled past the bound). Never blocks.
    void send(const nlohmann::json& message);
    // Journals the turn, then sends it as soon as a core accepts turns.
    void send(const TurnEvent& turn);
    // Answers the core's "ready": sends the session, then every turn that
    // waited for it, in order.
    void sendSession(const std::optional<nlohmann::json>& storedSession);
    // Asks the core to exit and calls `completion` exactly once: when it has
    // exited and its last output has been delivered, or about 7 s later, the
    // core then killed (SIGTERM after 5 s, SIGKILL 2 s later). Unconfirmed
    // turns stay in the journal.
    void shutdown(std::function<void()> completion);

    // Turns not yet confirmed stored ("Buffered events" in the menu).
    std::size_t queuedTurnCount() const { return journal_.pendingCount(); }
    // The core answered "failed" and no turn was stored since.
    bool storageFull() const { return storageFull_; }
    bool running() const { return child_ != nullptr; }
    const std::filesystem::path& coreScriptPath() const { return coreScript_; }
    const ProcessSpec& launchSpec() const { return spec_; }
    std::filesystem::path pendingTurnsPath() const { return journal_.path(); }

    // Tests only: bytes accepted but not yet written into the pipe.
    std::size_t outgoingBytes() const { return outgoingBytes_; }

private:
    struct Outgoing {
        std::string line;
        bool turn = false;
    };

    NodeCoreProcess(Dependencies deps, std::filesystem::path coreScript, ProcessSpec spec,
                    std::filesystem::path stateDirectory);

    void consume(std::string_view bytes);
    void deliverLine(std::string_view line);
    void handleExit();
    void scheduleRestart();
    void complete();
    bool acceptsTurns() const;
    bool enqueueOutgoing(std::string line, bool turn);
    void flush();
    void forgetInFlight();
    void sendQueuedTurns();
    void noteStall();
    void handleEventResult(const core_contract::EventResult& message);
    void noteStorageFailure();
    void retryFailed();

    MainLoop& loop_;
    ProcessLauncher& launcher_;
    LogSink& log_;
    CaptureDiag& diag_;
    std::filesystem::path coreScript_;
    ProcessSpec spec_;
    std::filesystem::path stateDirectory_;
    DeliveryJournal journal_;

    std::unique_ptr<ChildProcess> child_;
    std::string stdoutBuffer_;
    bool discardingLongLine_ = false;
    bool sessionSent_ = false;  // the running core's "ready" was answered
    bool stalled_ = false;      // the outgoing bound was hit; turns wait in the queue
    bool stallLogged_ = false;
    std::deque<Outgoing> outgoing_;
    std::size_t frontWritten_ = 0;  // bytes of outgoing_.front() already in the pipe
    std::size_t outgoingBytes_ = 0;
    std::deque<std::string> inFlight_;  // ids sent to the running core, unanswered, in order
    bool storageFull_ = false;
    bool syncPosted_ = false;
    bool retryWaiting_ = false;  // failed turns wait for the back-off
    Duration retryDelay_ = firstRetryDelay;
    ScopedTimer retryTimer_;

    bool shuttingDown_ = false;
    std::function<void()> shutdownCompletion_;
    ScopedTimer restartTimer_;
    ScopedTimer backstopTimer_;
    ScopedTimer graceTimer_;
    ScopedTimer killTimer_;
};

}  // namespace velmar
