#include "platform/sim/SimProcessLauncher.hpp"

#include <algorithm>

namespace velmar::sim {

// What the owner holds: a handle on the shared simulated child. Dropping it
// detaches the callbacks, as closing a real child's watches would.
class SimChildHandle final : public ChildProcess {
public:
    explicit SimChildHandle(std::shared_ptr<SimProcess> p) : p_(std::move(p)) {}
    ~SimChildHandle() override {
        p_->attached_ = false;
        p_->inputClosed_ = true;
    }

    std::size_t write(std::string_view bytes) override { return p_->write(bytes); }
    void closeInput() override { p_->inputClosed_ = true; }
    void terminate() override {
        if (p_->exited_) return;
        ++p_->terminateSignals_;
        if (p_->exitOnTerminate) p_->exit(143);
    }
    void kill() override {
        if (p_->exited_) return;
        ++p_->killSignals_;
        p_->exit(137);
    }
    void drainOutput() override { p_->deliverAll(); }
    bool exited() const override { return p_->exited_; }

private:
    std::shared_ptr<SimProcess> p_;
};

void SimProcess::emit(std::string bytes) {
    if (exited_ || bytes.empty()) return;
    undelivered_.push_back(std::move(bytes));
    loop_.post([this] { deliverOne(); });
}

void SimProcess::exit(int status) {
    if (exited_) return;
    exited_ = true;
    loop_.post([this, status] {
        deliverAll();
        if (exitDelivered_) return;
        exitDelivered_ = true;
        if (attached_ && callbacks_.onExit) callbacks_.onExit(status);
    });
}

void SimProcess::deliverOne() {
    if (undelivered_.empty()) return;
    std::string chunk = std::move(undelivered_.front());
    undelivered_.pop_front();
    if (attached_ && callbacks_.onOutput) callbacks_.onOutput(chunk);
}

void SimProcess::deliverAll() {
    while (!undelivered_.empty()) deliverOne();
}

void SimProcess::setReading(bool reading) {
    reading_ = reading;
    if (reading) takeIn();
}

std::size_t SimProcess::write(std::string_view bytes) {
    if (exited_ || inputClosed_) return 0;
    const std::size_t room = pipeCapacity > pipe_.size() ? pipeCapacity - pipe_.size() : 0;
    const std::size_t n = std::min(room, bytes.size());
    pipe_.append(bytes.substr(0, n));
    if (n < bytes.size()) wantsWritable_ = true;
    if (reading_) takeIn();
    return n;
}

void SimProcess::takeIn() {
    if (pipe_.empty()) return;
    received_ += pipe_;
    pipe_.clear();
    for (std::size_t nl; (nl = received_.find('\n', lineStart_)) != std::string::npos;) {
        std::string line = received_.substr(lineStart_, nl - lineStart_);
        lineStart_ = nl + 1;
        if (onLine && !exited_) onLine(*this, line);
    }
    if (wantsWritable_) {
        wantsWritable_ = false;
        loop_.post([this] {
            if (attached_ && !exited_ && callbacks_.onWritable) callbacks_.onWritable();
        });
    }
}

std::vector<std::string> SimProcess::receivedLines() const {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = received_.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(received_.substr(start, nl - start));
    return lines;
}

LaunchResult SimProcessLauncher::launch(const ProcessSpec& spec, ProcessCallbacks callbacks) {
    ++launches_;
    if (launchError) return *launchError;
    auto child = std::make_shared<SimProcess>(loop_, spec);
    child->callbacks_ = std::move(callbacks);
    children_.push_back(child);
    if (onLaunch) onLaunch(*child);
    return std::make_unique<SimChildHandle>(child);
}

}  // namespace velmar::sim
