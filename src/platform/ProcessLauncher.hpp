#pragma once
// Child processes with a pipe on standard input and one on standard output;
// standard error is the agent's own. Every callback arrives on the main loop,
// never on another thread, and writes never block: a child that stops reading
// costs the agent nothing but the bytes it keeps.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace velmar {

struct ProcessSpec {
    std::filesystem::path executable;
    std::vector<std::string> arguments;  // without the program name
    // The child's whole environment: nothing is inherited.
    std::map<std::string, std::string> environment;
};

struct ProcessCallbacks {
    // Bytes the child wrote, in order, as they arrive.
    std::function<void(std::string_view bytes)> onOutput;
    // The input pipe can take more after a short write.
    std::function<void()> onWritable;
    // The child has exited; the output it wrote before has been delivered
    // first. Called once.
    std::function<void(int status)> onExit;
};

class ChildProcess {
public:
    virtual ~ChildProcess() = default;
    // Writes as much of `bytes` as the input pipe takes now and returns how
    // much that was; never blocks. After a short write `onWritable` follows
    // once the pipe has room. Zero once the input is closed or the child gone.
    virtual std::size_t write(std::string_view bytes) = 0;
    virtual void closeInput() = 0;
    // Asks the child to terminate (SIGTERM); harmless once it has exited.
    virtual void terminate() = 0;
    // Ends the child at once (SIGKILL), stopped or not; harmless once it has
    // exited.
    virtual void kill() = 0;
    // Delivers, through `onOutput`, whatever output is available right now,
    // without waiting for more.
    virtual void drainOutput() = 0;
    virtual bool exited() const = 0;
};

// The launch result: the running child, or the platform's description of why
// it could not start.
using LaunchResult = std::variant<std::unique_ptr<ChildProcess>, std::string>;

class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // Callbacks never run before `launch` has returned.
    virtual LaunchResult launch(const ProcessSpec& spec, ProcessCallbacks callbacks) = 0;
};

}  // namespace velmar
