#pragma once
// The bridge to the core process: a Node program ("core.mjs") run as a child.
// It writes messages to the child's input as JSON lines, splits the child's
// output into lines and hands every JSON object to `onMessage`, relaunches the
// child 2 s after every exit, and runs the orderly shutdown that termination
// waits for.
//
// Turns are never lost to a restart or to a core that stopped reading: while
// no core accepts them (none running, its "ready" not yet answered with a
// session, or its input stalled past the outgoing bound) they wait in a
// bounded queue, oldest dropped and counted when full; at shutdown what still
// waits is saved to the pending-turns file and sent after the next start's
// session. A turn stays the bridge's until its whole line has gone into the
// pipe: one cut off by the core's death is sent again whole to the next core
// (the dead core never saw its line feed, so it never stored it). A line
// written completely counts as delivered; it is not sent again even if the
// core dies before reading it, since nothing in the contract lets a core
// recognise a turn it already stored.

#include "capture/TurnEvent.hpp"
#include "platform/MainLoop.hpp"
#include "platform/ProcessLauncher.hpp"

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
    static constexpr std::size_t maxQueuedTurns = 1000;
    static constexpr std::size_t maxOutgoingBytes = 4 * 1024 * 1024;
    static constexpr std::size_t maxLineBytes = 16 * 1024 * 1024;
    static constexpr const char* pendingTurnsFileName = "pending-turns.jsonl";

    struct Dependencies {
        MainLoop& loop;
        ProcessLauncher& launcher;
        LogSink& log;
        CaptureDiag& diag;
    };

    // Absent when there is no core script: neither `coreScriptOverride` (a
    // development build's own script, which must exist when given) nor the
    // layout's "core.mjs". `environment` is the child's whole environment;
    // `stateDirectory` holds the pending-turns file. Starts nothing.
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
    // Sends the turn message, or queues it until a core accepts turns.
    void send(const TurnEvent& turn);
    // Answers the core's "ready": sends the session, then every turn that
    // waited for it, in order.
    void sendSession(const std::optional<nlohmann::json>& storedSession);
    // Asks the core to exit and calls `completion` exactly once: when it has
    // exited and its last output has been delivered, or about 7 s later.
    void shutdown(std::function<void()> completion);

    // Turns waiting for a core ("Buffered events" in the menu).
    std::size_t queuedTurnCount() const;
    bool running() const { return child_ != nullptr; }
    const std::filesystem::path& coreScriptPath() const { return coreScript_; }
    const ProcessSpec& launchSpec() const { return spec_; }
    std::filesystem::path pendingTurnsPath() const { return stateDirectory_ / pendingTurnsFileName; }

    // Tests only: bytes accepted but not yet written into the pipe.
    std::size_t outgoingBytes() const { return outgoingBytes_; }

private:
    struct QueuedTurn {
        std::string surface;
        std::string line;  // with its line feed
    };
    struct Outgoing {
        std::string line;
        std::optional<std::string> turnSurface;  // set for turn lines
    };

    NodeCoreProcess(Dependencies deps, std::filesystem::path coreScript, ProcessSpec spec,
                    std::filesystem::path stateDirectory);

    void consume(std::string_view bytes);
    void deliverLine(std::string_view line);
    void handleExit();
    void scheduleRestart();
    void complete();
    bool acceptsTurns() const;
    bool enqueueOutgoing(std::string line, std::optional<std::string> turnSurface);
    void flush();
    void queueTurn(QueuedTurn turn);
    void requeueUnwrittenTurns();
    void sendQueuedTurns();
    void noteStall();
    void loadPendingTurns();
    void removePendingFile();
    void savePendingTurns();

    MainLoop& loop_;
    ProcessLauncher& launcher_;
    LogSink& log_;
    CaptureDiag& diag_;
    std::filesystem::path coreScript_;
    ProcessSpec spec_;
    std::filesystem::path stateDirectory_;

    std::unique_ptr<ChildProcess> child_;
    std::string stdoutBuffer_;
    bool discardingLongLine_ = false;
    bool sessionSent_ = false;  // the running core's "ready" was answered
    bool stalled_ = false;      // the outgoing bound was hit; turns wait in the queue
    bool stallLogged_ = false;
    std::deque<Outgoing> outgoing_;
    std::size_t frontWritten_ = 0;  // bytes of outgoing_.front() already in the pipe
    std::size_t outgoingBytes_ = 0;
    std::deque<QueuedTurn> queue_;
    std::size_t pendingFromFile_ = 0;  // leading queue entries that came from the file
    bool pendingFileExists_ = false;

    bool shuttingDown_ = false;
    std::function<void()> shutdownCompletion_;
    ScopedTimer restartTimer_;
    ScopedTimer backstopTimer_;
    ScopedTimer graceTimer_;
};

}  // namespace velmar
