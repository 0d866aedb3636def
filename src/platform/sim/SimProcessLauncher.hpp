#pragma once
// Simulated child processes on the main loop's (virtual) time. A test scripts
// what each child writes and when it exits, makes it stop reading its input,
// and inspects what it received and which signals it got. Output and exits are
// delivered as posted work, like a real pipe and child watch would be.

#include "platform/MainLoop.hpp"
#include "platform/ProcessLauncher.hpp"

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmar::sim {

// One simulated child as the test sees it.
class SimProcess {
public:
    explicit SimProcess(MainLoop& loop, ProcessSpec spec) : loop_(loop), spec_(std::move(spec)) {}

    const ProcessSpec& spec() const { return spec_; }

    // --- scripting the child ---
    // Writes bytes to its standard output.
    void emit(std::string bytes);
    // Exits with `status`; the output written before is delivered first.
    void exit(int status = 0);
    // A child that stops reading lets its input pipe fill up to
    // `pipeCapacity`; reading again takes in everything and wakes the writer.
    void setReading(bool reading);
    // Reacts to every complete input line as the child reads it.
    std::function<void(SimProcess&, const std::string& line)> onLine;
    // When true (the default), a terminate signal makes the child exit at once.
    bool exitOnTerminate = true;
    std::size_t pipeCapacity = 64 * 1024;

    // --- inspecting ---
    const std::string& received() const { return received_; }
    // Complete lines received so far (each without its line feed).
    std::vector<std::string> receivedLines() const;
    std::size_t bytesInPipe() const { return pipe_.size(); }
    int terminateSignals() const { return terminateSignals_; }
    int killSignals() const { return killSignals_; }
    bool inputClosed() const { return inputClosed_; }
    bool hasExited() const { return exited_; }
    bool exitDelivered() const { return exitDelivered_; }

private:
    friend class SimChildHandle;
    friend class SimProcessLauncher;

    std::size_t write(std::string_view bytes);
    void deliverOne();
    void deliverAll();
    void takeIn();

    MainLoop& loop_;
    ProcessSpec spec_;
    ProcessCallbacks callbacks_;
    bool attached_ = true;  // false once the owner dropped its handle
    std::deque<std::string> undelivered_;
    std::string pipe_;      // written, not yet read by the child
    std::string received_;  // read by the child
    std::size_t lineStart_ = 0;
    bool reading_ = true;
    bool wantsWritable_ = false;
    bool inputClosed_ = false;
    bool exited_ = false;
    bool exitDelivered_ = false;
    int terminateSignals_ = 0;
    int killSignals_ = 0;
};

class SimProcessLauncher final : public ProcessLauncher {
public:
    explicit SimProcessLauncher(MainLoop& loop) : loop_(loop) {}

    LaunchResult launch(const ProcessSpec& spec, ProcessCallbacks callbacks) override;

    // While set, every launch fails with this description.
    std::optional<std::string> launchError;
    // Scripts each new child as it starts.
    std::function<void(SimProcess&)> onLaunch;

    std::size_t launchCount() const { return launches_; }
    // Every child started so far, oldest first.
    const std::vector<std::shared_ptr<SimProcess>>& children() const { return children_; }
    // The newest child; null before the first launch.
    SimProcess* latest() const { return children_.empty() ? nullptr : children_.back().get(); }

private:
    MainLoop& loop_;
    std::size_t launches_ = 0;
    std::vector<std::shared_ptr<SimProcess>> children_;
};

}  // namespace velmar::sim
