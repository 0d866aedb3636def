#include "runtime/NodeCoreProcess.hpp"

#include "platform/InstallLayout.hpp"
#include "platform/LogSink.hpp"
#include "platform/ProcessEnvironment.hpp"
#include "capture/CaptureDiag.hpp"
#include "runtime/CoreContract.hpp"

#include <algorithm>
#include <system_error>

namespace velmar {

namespace fs = std::filesystem;

std::shared_ptr<NodeCoreProcess> NodeCoreProcess::create(const InstallLayout& layout,
                                                         const std::optional<fs::path>& coreScriptOverride,
                                                         std::map<std::string, std::string> environment,
                                                         fs::path stateDirectory, Dependencies deps) {
    std::optional<fs::path> script;
    if (coreScriptOverride) {
        // A developer who names a script means that one: falling back to the
        // installed core would hide the typo.
        std::error_code ec;
        if (fs::is_regular_file(*coreScriptOverride, ec)) script = *coreScriptOverride;
    } else {
        script = layout.resource("core", "mjs");
    }
    if (!script) return nullptr;

    ProcessSpec spec;
    if (auto node = layout.auxiliaryExecutable("node")) {
        spec.executable = *node;
        spec.arguments = {script->string()};
    } else {
        spec.executable = "/usr/bin/env";
        spec.arguments = {"node", script->string()};
    }
    spec.environment = std::move(environment);

    return std::shared_ptr<NodeCoreProcess>(
        new NodeCoreProcess(deps, *script, std::move(spec), std::move(stateDirectory)));
}

fs::path NodeCoreProcess::defaultStateDirectory(const ProcessEnvironment& env) {
    fs::path base;
    if (auto xdg = env.get("XDG_STATE_HOME"); xdg && fs::path(*xdg).is_absolute()) {
        base = *xdg;
    } else {
        base = fs::path(env.get("HOME").value_or("/tmp")) / ".local" / "state";
    }
    return base / "velmar";
}

NodeCoreProcess::NodeCoreProcess(Dependencies deps, fs::path coreScript, ProcessSpec spec, fs::path stateDirectory)
    : loop_(deps.loop),
      launcher_(deps.launcher),
      log_(deps.log),
      diag_(deps.diag),
      coreScript_(std::move(coreScript)),
      spec_(std::move(spec)),
      stateDirectory_(std::move(stateDirectory)),
      journal_(stateDirectory_, log_) {}

NodeCoreProcess::~NodeCoreProcess() = default;

// --- launching and exits ---

void NodeCoreProcess::start() {
    if (child_ || shuttingDown_) return;
    std::weak_ptr<NodeCoreProcess> weak = weak_from_this();
    ProcessCallbacks callbacks;
    callbacks.onOutput = [weak](std::string_view bytes) {
        if (auto self = weak.lock()) self->consume(bytes);
    };
    callbacks.onWritable = [weak] {
        if (auto self = weak.lock()) self->flush();
    };
    callbacks.onExit = [weak, &loop = loop_](int) {
        // Not from inside the backend's own callback: handling the exit
        // destroys the child that is calling.
        loop.post([weak] {
            if (auto self = weak.lock()) self->handleExit();
        });
    };
    auto launched = launcher_.launch(spec_, std::move(callbacks));
    if (auto* error = std::get_if<std::string>(&launched)) {
        log_.writeLine("[agent] failed to start node core: " + *error);
        scheduleRestart();
        return;
    }
    child_ = std::move(std::get<std::unique_ptr<ChildProcess>>(launched));
    sessionSent_ = false;
    stalled_ = false;
    stallLogged_ = false;
}

void NodeCoreProcess::handleExit() {
    if (!child_) return;
    child_->drainOutput();
    child_.reset();
    forgetInFlight();
    sessionSent_ = false;
    stalled_ = false;
    if (!shuttingDown_) {
        log_.writeLine("[agent] node core exited — restarting in 2s");
        scheduleRestart();
    } else {
        complete();
    }
}

void NodeCoreProcess::scheduleRestart() {
    if (shuttingDown_) return;
    restartTimer_ = loop_.postDelayed(restartDelay, weakly(shared_from_this(), [](NodeCoreProcess& self) {
        self.start();
    }));
}

// --- shutdown ---

void NodeCoreProcess::shutdown(std::function<void()> completion) {
    shuttingDown_ = true;
    restartTimer_.cancel();
    retryTimer_.cancel();
    journal_.sync();  // turns flushed by the stop are kept even if the loop ends now
    if (!child_) {
        if (completion) completion();
        return;
    }
    shutdownCompletion_ = completion ? std::move(completion) : [] {};
    send(core_contract::shutdown());
    backstopTimer_ = loop_.postDelayed(shutdownBackstop, weakly(shared_from_this(), [](NodeCoreProcess& self) {
        if (!self.shutdownCompletion_) return;
        if (self.child_) self.child_->terminate();
        self.graceTimer_ = self.loop_.postDelayed(sigtermGrace, weakly(self.shared_from_this(), [](NodeCoreProcess& s) {
            if (!s.shutdownCompletion_) return;
            if (s.child_) {
                // Stopped or hung: never left behind.
                s.child_->drainOutput();
                s.child_->kill();
            }
            s.complete();
        }));
    }));
}

void NodeCoreProcess::complete() {
    if (!shutdownCompletion_) return;
    auto completion = std::exchange(shutdownCompletion_, nullptr);
    backstopTimer_.cancel();
    graceTimer_.cancel();
    completion();
}

// --- reading ---

void NodeCoreProcess::consume(std::string_view bytes) {
    std::size_t start = 0;
    while (start <= bytes.size()) {
        const std::size_t nl = bytes.find('\n', start);
        if (nl == std::string_view::npos) {
            const std::string_view rest = bytes.substr(start);
            if (discardingLongLine_ || rest.empty()) return;
            if (stdoutBuffer_.size() + rest.size() > maxLineBytes) {
                log_.writeLine("[agent] dropped a line of core output longer than 16 MiB");
                std::string().swap(stdoutBuffer_);
                discardingLongLine_ = true;
                return;
            }
            stdoutBuffer_.append(rest);
            return;
        }
        const std::string_view piece = bytes.substr(start, nl - start);
        start = nl + 1;
        if (discardingLongLine_) {
            discardingLongLine_ = false;  // the rest of the dropped line ends here
            continue;
        }
        if (stdoutBuffer_.empty()) {
            deliverLine(piece);
            continue;
        }
        if (stdoutBuffer_.size() + piece.size() > maxLineBytes) {
            log_.writeLine("[agent] dropped a line of core output longer than 16 MiB");
            std::string().swap(stdoutBuffer_);
            continue;
        }
        std::string line = std::move(stdoutBuffer_);
        stdoutBuffer_.clear();
        line.append(piece);
        deliverLine(line);
    }
}

void NodeCoreProcess::deliverLine(std::string_view line) {
    if (line.empty()) return;
    auto message = core_contract::parseLine(line);
    if (!message) return;
    if (auto decoded = core_contract::decode(*message))
        if (auto* result = std::get_if<core_contract::EventResult>(&*decoded)) handleEventResult(*result);
    if (onMessage) onMessage(*message);
}

// --- writing ---

bool NodeCoreProcess::acceptsTurns() const { return child_ && sessionSent_ && !stalled_ && !shuttingDown_; }

bool NodeCoreProcess::enqueueOutgoing(std::string line, bool turn) {
    // One message larger than the whole bound still goes out, alone.
    if (!outgoing_.empty() && outgoingBytes_ + line.size() > maxOutgoingBytes) return false;
    outgoingBytes_ += line.size();
    outgoing_.push_back({std::move(line), turn});
    flush();
    return true;
}

void NodeCoreProcess::flush() {
    while (child_ && !outgoing_.empty()) {
        const std::string& line = outgoing_.front().line;
        const std::size_t n = child_->write(std::string_view(line).substr(frontWritten_));
        frontWritten_ += n;
        outgoingBytes_ -= n;
        if (frontWritten_ < line.size()) return;  // the backend calls back when there is room
        outgoing_.pop_front();
        frontWritten_ = 0;
    }
    if (child_ && stalled_ && outgoing_.empty()) {
        stalled_ = false;
        sendQueuedTurns();
    }
}

void NodeCoreProcess::noteStall() {
    stalled_ = true;
    if (stallLogged_) return;
    stallLogged_ = true;
    log_.writeLine("[agent] node core is not reading its input — holding turns until it does");
}

void NodeCoreProcess::send(const nlohmann::json& message) {
    if (!child_ || stalled_) return;
    std::string line = core_contract::toLine(message);
    if (!enqueueOutgoing(std::move(line), false)) noteStall();
}

void NodeCoreProcess::send(const TurnEvent& turn) {
    auto message = core_contract::toJSON(turn);
    const std::string id = message["turn_id"];
    journal_.append(id, turn.surface, core_contract::toLine(message));
    if (syncPosted_) return;
    // Turns captured in one pass of the loop share one sync; none reaches a
    // core before it.
    syncPosted_ = true;
    loop_.post([weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self) return;
        self->syncPosted_ = false;
        self->journal_.sync();
        self->sendQueuedTurns();
    });
}

void NodeCoreProcess::sendSession(const std::optional<nlohmann::json>& storedSession) {
    if (!child_) return;
    send(core_contract::session(storedSession));
    sessionSent_ = true;
    sendQueuedTurns();
}

// --- the journal's turns ---

void NodeCoreProcess::sendQueuedTurns() {
    using State = DeliveryJournal::Entry::State;
    if (!acceptsTurns() || retryWaiting_) return;
    for (auto& entry : journal_.entries()) {
        if (!entry.synced) return;
        if (entry.state == State::inFlight) continue;
        if (!enqueueOutgoing(entry.line, true)) {
            noteStall();
            return;
        }
        entry.state = State::inFlight;
        inFlight_.push_back(entry.id);
    }
}

void NodeCoreProcess::forgetInFlight() {
    // The dead core's answers will never come: everything it was handed goes
    // again to the next one, which recognises what it already stored.
    for (auto& entry : journal_.entries()) entry.state = DeliveryJournal::Entry::State::waiting;
    inFlight_.clear();
    outgoing_.clear();
    frontWritten_ = 0;
    outgoingBytes_ = 0;
}

void NodeCoreProcess::handleEventResult(const core_contract::EventResult& message) {
    using State = DeliveryJournal::Entry::State;
    std::string id;
    if (message.turnId) {
        id = *message.turnId;
        if (auto pos = std::find(inFlight_.begin(), inFlight_.end(), id); pos != inFlight_.end()) inFlight_.erase(pos);
    } else if (!inFlight_.empty()) {
        // A core that does not know ids answers each turn line in order.
        id = std::move(inFlight_.front());
        inFlight_.pop_front();
    } else {
        return;
    }
    const bool failed = message.status == "failed";
    if (!failed) {
        journal_.confirm(id);
        if (storageFull_) {
            storageFull_ = false;
            retryDelay_ = firstRetryDelay;
            log_.writeLine("[agent] the core stores turns again");
        }
        sendQueuedTurns();  // the journal may have read more from disk
        return;
    }
    if (auto* entry = journal_.find(id); entry && entry->state == State::inFlight) entry->state = State::failed;
    noteStorageFailure();
}

void NodeCoreProcess::noteStorageFailure() {
    if (!storageFull_) {
        storageFull_ = true;
        log_.writeLine("[agent] the core could not store turns (storage full?) — " +
                       std::to_string(journal_.pendingCount()) + " turns kept, retrying");
    }
    if (retryWaiting_) return;
    retryWaiting_ = true;
    retryTimer_ = loop_.postDelayed(retryDelay_, weakly(shared_from_this(), [](NodeCoreProcess& self) {
        self.retryFailed();
    }));
    retryDelay_ = std::min(retryDelay_ * 2, maxRetryDelay);
}

void NodeCoreProcess::retryFailed() {
    using State = DeliveryJournal::Entry::State;
    retryWaiting_ = false;
    for (auto& entry : journal_.entries())
        if (entry.state == State::failed) entry.state = State::waiting;
    sendQueuedTurns();
}

}  // namespace velmar
