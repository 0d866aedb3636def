#include "platform/linux/system/ProcessWatch.hpp"

#include "platform/linux/session/SessionServices.hpp"

#include <gtest/gtest.h>

#include <map>

namespace velmar::linux_backend {
namespace {

using Process = ProcessWatch::Process;

// A made-up process table: pid -> (parent, executable); pids missing from
// `mine` belong to another user.
struct Table {
    std::map<int, Process> mine;
    std::vector<int> others;
    int reads = 0;

    void run(int pid, int parent, const char* exe) { mine[pid] = Process{pid, parent, exe}; }
    void end(int pid) { mine.erase(pid); }
    std::vector<int> pids() const {
        std::vector<int> out = others;
        for (const auto& [pid, p] : mine) out.push_back(pid);
        return out;
    }
    ProcessWatch::Changes look(ProcessWatch& watch) {
        return watch.update(pids(), [this](int pid) -> std::optional<Process> {
            ++reads;
            auto it = mine.find(pid);
            if (it == mine.end()) return std::nullopt;
            return it->second;
        });
    }
};

std::vector<int> pidsOf(const std::vector<Process>& ps) {
    std::vector<int> out;
    for (const auto& p : ps) out.push_back(p.pid);
    return out;
}

TEST(ProcessWatch, ReportsProgramsThatStartAndEndButNotTheirHelpersOrWhatRanBefore) {
    Table table;
    table.run(10, 1, "/usr/bin/bash");
    table.run(11, 10, "/usr/bin/sleep");
    table.others = {1, 2};
    ProcessWatch watch;

    auto changes = table.look(watch);
    EXPECT_TRUE(changes.launched.empty()) << "what ran before is the baseline, not news";
    EXPECT_TRUE(changes.terminated.empty());
    EXPECT_EQ(pidsOf(watch.programs()), (std::vector<int>{10, 11}));

    // A browser and its helpers in one look (helpers before the browser in
    // pid order after a wrap), and another user's process.
    for (const auto& [pid, parent] : {std::pair{300, 10}, {301, 300}, {302, 301}, {299, 300}})
        table.run(pid, parent, "/usr/lib/chromium/chromium");
    table.others.push_back(400);
    changes = table.look(watch);
    EXPECT_EQ(pidsOf(changes.launched), (std::vector<int>{300}));

    // Nothing new: no process is read again beyond the young ones' second look.
    table.look(watch);
    const int reads = table.reads;
    changes = table.look(watch);
    EXPECT_TRUE(changes.launched.empty() && changes.terminated.empty());
    EXPECT_EQ(table.reads, reads) << "settled processes and other users' are never read again";

    // A helper ending is no news; the browser ending is, with what it was.
    table.end(302);
    changes = table.look(watch);
    EXPECT_TRUE(changes.terminated.empty());
    for (int pid : {300, 301, 299, 11}) table.end(pid);
    changes = table.look(watch);
    EXPECT_EQ(changes.terminated,
              (std::vector<Process>{{11, 10, "/usr/bin/sleep"}, {300, 10, "/usr/lib/chromium/chromium"}}));

    // A pid that becomes another program (a launcher script exec'ing its
    // program, or a pid reused after an end) is an end and a start. Seen
    // while still the wrapper script's shell...
    table.run(50, 10, "/usr/bin/dash");
    changes = table.look(watch);
    EXPECT_EQ(pidsOf(changes.launched), (std::vector<int>{50}));
    // ...and after it exec'd the browser: the shell ended, the browser started.
    table.run(50, 10, "/usr/lib/chromium/chromium");
    table.run(51, 50, "/usr/lib/chromium/chromium");
    changes = table.look(watch);
    ASSERT_EQ(changes.terminated.size(), 1u);
    EXPECT_EQ(changes.terminated[0].executable, "/usr/bin/dash");
    ASSERT_EQ(changes.launched.size(), 1u);
    EXPECT_EQ(changes.launched[0], (Process{50, 10, "/usr/lib/chromium/chromium"}));

    // A settled program's pid, after its end, reused by another.
    table.look(watch);
    table.end(50);
    table.end(51);
    EXPECT_EQ(pidsOf(table.look(watch).terminated), (std::vector<int>{50}));
    table.run(50, 1, "/usr/bin/firefox");
    EXPECT_EQ(pidsOf(table.look(watch).launched), (std::vector<int>{50}));
}

TEST(SessionServices, AnyServiceSayingLockedLocksOnlyLogindDecidesTheActiveSession) {
    using A = SessionServices::Answers;
    struct Case {
        const char* description;
        A answers;
        bool locked;
        bool active;
    };
    const Case cases[] = {
        {"no service answered", {}, false, true},
        {"logind locked hint", {true, true, std::nullopt, std::nullopt}, true, true},
        {"GNOME screen saver active, logind unlocked", {false, true, true, std::nullopt}, true, true},
        {"freedesktop screen saver only", {std::nullopt, std::nullopt, std::nullopt, true}, true, true},
        {"all say unlocked", {false, true, false, false}, false, true},
        {"switched to another session", {false, false, std::nullopt, std::nullopt}, false, false},
    };
    for (const Case& c : cases) {
        const auto state = SessionServices::combine(c.answers);
        EXPECT_EQ(state.locked, c.locked) << c.description;
        EXPECT_EQ(state.sessionActive, c.active) << c.description;
    }
}

}  // namespace
}  // namespace velmar::linux_backend
