#include "runtime/NodeCoreProcess.hpp"

#include "platform/InstallLayout.hpp"
#include "platform/LogSink.hpp"
#include "platform/ProcessEnvironment.hpp"
#include "runtime/CaptureDiag.hpp"
#include "runtime/CoreContract.hpp"

#include <fstream>
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

    std::shared_ptr<NodeCoreProcess> bridge(
        new NodeCoreProcess(deps, *script, std::move(spec), std::move(stateDirectory)));
    bridge->loadPendingTurns();
    return bridge;
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
      stateDirectory_(std::move(stateDirectory)) {}

NodeCoreProcess::~NodeCoreProcess() = default;

std::size_t NodeCoreProcess::queuedTurnCount() const {
    std::size_t n = queue_.size();
    for (const auto& o : outgoing_)
        if (o.turnSurface) ++n;
    return n;
}

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
    requeueUnwrittenTurns();
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
    if (!child_) {
        savePendingTurns();
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
            if (s.child_) s.child_->drainOutput();
            s.complete();
        }));
    }));
}

void NodeCoreProcess::complete() {
    if (!shutdownCompletion_) return;
    requeueUnwrittenTurns();
    savePendingTurns();
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
    if (message && onMessage) onMessage(*message);
}

// --- writing ---

bool NodeCoreProcess::acceptsTurns() const { return child_ && sessionSent_ && !stalled_ && !shuttingDown_; }

bool NodeCoreProcess::enqueueOutgoing(std::string line, std::optional<std::string> turnSurface) {
    // One message larger than the whole bound still goes out, alone.
    if (!outgoing_.empty() && outgoingBytes_ + line.size() > maxOutgoingBytes) return false;
    outgoingBytes_ += line.size();
    outgoing_.push_back({std::move(line), std::move(turnSurface)});
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
    std::string line = message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    if (!enqueueOutgoing(std::move(line), std::nullopt)) noteStall();
}

void NodeCoreProcess::send(const TurnEvent& turn) {
    QueuedTurn queued{turn.surface, turn.turnMessage()};
    if (acceptsTurns() && queue_.empty()) {
        if (enqueueOutgoing(queued.line, queued.surface)) return;
        noteStall();
    }
    queueTurn(std::move(queued));
}

void NodeCoreProcess::sendSession(const std::optional<nlohmann::json>& storedSession) {
    if (!child_) return;
    send(core_contract::session(storedSession));
    sessionSent_ = true;
    sendQueuedTurns();
}

// --- the turn queue ---

void NodeCoreProcess::queueTurn(QueuedTurn turn) {
    queue_.push_back(std::move(turn));
    while (queue_.size() > maxQueuedTurns) {
        diag_.bump(queue_.front().surface, CaptureDiag::Counter::turnsDropped);
        if (pendingFromFile_ > 0) --pendingFromFile_;
        queue_.pop_front();
    }
}

void NodeCoreProcess::sendQueuedTurns() {
    while (!queue_.empty() && acceptsTurns()) {
        QueuedTurn& front = queue_.front();
        if (!enqueueOutgoing(front.line, front.surface)) {
            noteStall();
            return;
        }
        queue_.pop_front();
        if (pendingFromFile_ > 0 && --pendingFromFile_ == 0) removePendingFile();
    }
}

void NodeCoreProcess::requeueUnwrittenTurns() {
    // Whatever is still here was not wholly written: a cut-off line never
    // reached the core as a line, so it goes again, whole, before newer turns.
    for (auto it = outgoing_.rbegin(); it != outgoing_.rend(); ++it)
        if (it->turnSurface) queue_.push_front({*it->turnSurface, std::move(it->line)});
    outgoing_.clear();
    frontWritten_ = 0;
    outgoingBytes_ = 0;
    while (queue_.size() > maxQueuedTurns) {
        diag_.bump(queue_.front().surface, CaptureDiag::Counter::turnsDropped);
        queue_.pop_front();
    }
}

// --- the pending-turns file ---

void NodeCoreProcess::loadPendingTurns() {
    std::ifstream in(pendingTurnsPath(), std::ios::binary);
    if (!in) return;
    pendingFileExists_ = true;
    std::string line;
    while (std::getline(in, line)) {
        auto message = core_contract::parseLine(line);
        if (!message || message->value("type", "") != "turn") continue;
        const auto surface = message->value("surface", "");
        queueTurn({surface, line + "\n"});
    }
    pendingFromFile_ = queue_.size();
    if (pendingFromFile_ == 0) removePendingFile();
}

void NodeCoreProcess::removePendingFile() {
    if (!pendingFileExists_) return;
    std::error_code ec;
    fs::remove(pendingTurnsPath(), ec);
    pendingFileExists_ = false;
}

void NodeCoreProcess::savePendingTurns() {
    if (queue_.empty()) {
        removePendingFile();
        return;
    }
    // Written beside the file and renamed over it, so a crash leaves the old
    // file or the new one, never half of one.
    std::error_code ec;
    fs::create_directories(stateDirectory_, ec);
    const fs::path target = pendingTurnsPath();
    fs::path temp = target;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        for (const auto& t : queue_) out << t.line;
        out.flush();
        if (!out) {
            log_.writeLine("[agent] could not save " + std::to_string(queue_.size()) + " pending turns to " +
                           target.string());
            fs::remove(temp, ec);
            return;
        }
    }
    fs::rename(temp, target, ec);
    if (ec) {
        log_.writeLine("[agent] could not save " + std::to_string(queue_.size()) + " pending turns to " +
                       target.string() + ": " + ec.message());
        return;
    }
    pendingFileExists_ = true;
}

}  // namespace velmar
