#include "platform/linux/system/LinuxProcessLauncher.hpp"

#include "platform/linux/system/GLibMainLoop.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

using namespace std::chrono_literals;

namespace velmar::linux_backend {
namespace {

struct ChildRun {
    GLibMainLoop loop;
    LinuxProcessLauncher launcher;
    std::string output;
    std::optional<int> status;
    int writable = 0;
    std::unique_ptr<ChildProcess> child;

    void launch(std::string script, std::map<std::string, std::string> env = {}) {
        ProcessCallbacks cb;
        cb.onOutput = [this](std::string_view b) { output.append(b); };
        cb.onWritable = [this] { ++writable; };
        cb.onExit = [this](int s) { status = s; };
        auto r = launcher.launch({"/bin/sh", {"-c", std::move(script)}, std::move(env)}, std::move(cb));
        ASSERT_TRUE(std::holds_alternative<std::unique_ptr<ChildProcess>>(r)) << std::get<std::string>(r);
        child = std::move(std::get<std::unique_ptr<ChildProcess>>(r));
    }
    bool runUntil(const std::function<bool()>& done, Duration limit = 5s) {
        const TimePoint deadline = loop.now() + limit;
        ScopedTimer poll = loop.repeating(2ms, 0ms, [&] {
            if (done() || loop.now() > deadline) loop.quit();
        });
        loop.run();
        return done();
    }
};

// The child gets exactly the environment it is given, reads what is written,
// and its output arrives before its exit.
TEST(LinuxProcessLauncher, ReplacesTheEnvironmentPipesBothWaysAndReportsOutputBeforeExit) {
    ChildRun r;
    r.launch("printf '%s %s\\n' \"$ONLY\" \"${HOME:-unset}\"; cat; exit 3", {{"ONLY", "given"}});
    EXPECT_EQ(r.child->write("echoed\n"), 7u);
    r.child->closeInput();
    ASSERT_TRUE(r.runUntil([&] { return r.status.has_value(); }));
    EXPECT_EQ(r.output, "given unset\nechoed\n");
    EXPECT_TRUE(WIFEXITED(*r.status) && WEXITSTATUS(*r.status) == 3);
    EXPECT_TRUE(r.child->exited());
    EXPECT_EQ(r.child->write("late\n"), 0u) << "no writes once the input is closed";
}

// A child that is not reading takes only what its pipe holds; the rest waits
// for the writability callback, and the loop keeps running meanwhile.
TEST(LinuxProcessLauncher, WritesNeverBlockOnAChildThatIsNotReading) {
    ChildRun r;
    r.launch("sleep 0.3; wc -c");
    const std::string megabyte(1 << 20, 'x');
    std::size_t written = r.child->write(megabyte);
    EXPECT_LT(written, megabyte.size());
    int ticks = 0;
    ScopedTimer ticker = r.loop.repeating(10ms, 0ms, [&] { ++ticks; });
    while (written < megabyte.size()) {
        const int before = r.writable;
        ASSERT_TRUE(r.runUntil([&] { return r.writable > before; }));
        written += r.child->write(std::string_view(megabyte).substr(written));
    }
    r.child->closeInput();
    ASSERT_TRUE(r.runUntil([&] { return r.status.has_value(); }));
    EXPECT_EQ(r.output, "1048576\n");
    EXPECT_GE(ticks, 10) << "the loop ran while the child was not reading";
}

TEST(LinuxProcessLauncher, TerminatesDrainsWithoutWaitingAndReportsLaunchFailures) {
    ChildRun r;
    r.launch("trap '' TERM; echo hi; sleep 1");
    ASSERT_TRUE(r.runUntil([&] { return !r.output.empty(); }));
    r.child->terminate();
    const TimePoint before = r.loop.now();
    r.child->drainOutput();  // the child ignores the signal and keeps its pipe open
    EXPECT_LT(r.loop.now() - before, 100ms);
    EXPECT_FALSE(r.status.has_value());

    ChildRun s;
    s.launch("exec sleep 5");
    s.child->terminate();
    ASSERT_TRUE(s.runUntil([&] { return s.status.has_value(); }));
    EXPECT_TRUE(WIFSIGNALED(*s.status) && WTERMSIG(*s.status) == SIGTERM);

    auto failed = s.launcher.launch({"/nonexistent/node", {}, {}}, {});
    ASSERT_TRUE(std::holds_alternative<std::string>(failed));
    EXPECT_FALSE(std::get<std::string>(failed).empty());
}

}  // namespace
}  // namespace velmar::linux_backend
