// The real executable end to end: GLib's loop, the bundled local core under
// Node, and the simulated desktop playing a scripted chat in Claude Desktop.
// The turns must reach the core's store, and SIGTERM must end everything
// within 7 s with nothing lost.
#include "capture/ChatPages.hpp"
#include "support/ParserTrees.hpp"
#include "support/TempFiles.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <csignal>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmar {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using nlohmann::json;
using testing::Texts;

const std::string agentExe = std::string(VELMAR_TOOL_DIR) + "/velmar-desktop-agent";

std::vector<json> storedTurns(const fs::path& store) {
    std::vector<json> out;
    std::ifstream in(store);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(json::parse(line));
    return out;
}

// The agent's folders under `home`, and a simulated desktop playing `script`.
std::vector<std::string> agentEnvironment(const fs::path& home, const json& script) {
    fs::create_directories(home / "run");
    fs::permissions(home / "run", fs::perms::owner_all);
    std::ofstream(home / "desktop.json") << script.dump();
    return {"HOME=" + home.string(), "XDG_RUNTIME_DIR=" + (home / "run").string(),
            "XDG_DATA_HOME=" + (home / "data").string(), "XDG_STATE_HOME=" + (home / "state").string(),
            "XDG_CONFIG_HOME=" + (home / "config").string(), "XDG_CACHE_HOME=" + (home / "cache").string(),
            "PATH=" + std::string(getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin"),
            "VELMAR_SIM_DESKTOP=" + (home / "desktop.json").string()};
}

// Starts a program with an environment of its own (stderr into `errors` when
// given); its process id, or -1.
pid_t start(const std::string& program, std::vector<std::string> args, const std::vector<std::string>& env,
            const std::optional<fs::path>& errors = std::nullopt) {
    args.insert(args.begin(), program);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (errors) posix_spawn_file_actions_addopen(&actions, 2, errors->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(20ms);
    return done();
}

// The exit status, or absent (and killed) when the process overstays.
std::optional<int> waitForExit(pid_t pid, std::chrono::milliseconds within, bool kill = true) {
    std::optional<int> result;
    waitUntil([&] {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return result.has_value();
    }, within);
    if (!result && kill) ::kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    return result;
}

TEST(AgentProcess, AScriptedChatReachesTheLocalCoresStoreAndSigtermEndsItWithinSevenSeconds) {
    testing::TempDir home;
    const fs::path data = home.path() / "data", state = home.path() / "state";
    const auto plus = [](Texts t, const std::string& more) {
        t.push_back(more);
        return t;
    };
    const std::string reply1 = "The team agreed to ship on Friday.", reply2 = "Only the migration, which is rehearsed.";
    const Texts history = {"Old question", "Old answer"}, first = plus(history, "Summarise the meeting notes");
    const Texts done1 = plus(first, reply1), second = plus(done1, "And the risks?");
    json steps = json::array();
    // The history is on screen before the agent attaches (1.5 s after launch).
    for (const auto& [after, turns, finished] : std::vector<std::tuple<int, Texts, bool>>{
             {0, history, true}, {3000, first, false}, {1000, plus(first, "The team agreed"), false},
             {1000, done1, true}, {1500, second, false}, {1500, plus(second, reply2), true}})
        steps.push_back({{"after_ms", after}, {"pid", 4242},
                         {"window", testing::group({testing::claudePage("https://claude.ai/chat/cd-1", turns,
                                                                          finished)}).json()}});
    const auto env = agentEnvironment(home.path(), {
        {"applications", {{{"pid", 4242}, {"app_id", "com.anthropic.claudefordesktop"}, {"name", "Claude"}}}},
        {"steps", steps}});
    const pid_t agent = start(agentExe, {}, env);
    ASSERT_GT(agent, 0);

    // The core creates its store when it starts, well after the agent took
    // its lock: from then on a second agent in the same session (here one
    // without a session bus) refuses.
    const fs::path store = data / "velmar" / "turns.jsonl";
    waitUntil([&] { return fs::exists(store); }, 40s);
    EXPECT_EQ(waitForExit(start(agentExe, {}, env), 10s), 1);
    waitUntil([&] { return storedTurns(store).size() >= 2; }, 30s);

    const auto stopAt = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(agent, SIGTERM), 0);
    const auto status = waitForExit(agent, 8s);
    ASSERT_TRUE(status) << "the agent did not end";
    EXPECT_EQ(*status, 0);
    EXPECT_LE(std::chrono::steady_clock::now() - stopAt, 7s);

    std::vector<std::array<std::string, 3>> turns;  // prompt, response, surface
    for (const auto& t : storedTurns(store)) turns.push_back({t["prompt"], t["response"], t["surface"]});
    EXPECT_EQ(turns, (std::vector<std::array<std::string, 3>>{{"Summarise the meeting notes", reply1, "claude_desktop"},
                                                              {"And the risks?", reply2, "claude_desktop"}}));
    EXPECT_EQ(fs::file_size(state / "velmar" / "pending-turns.jsonl"), 0u) << "nothing left waiting";
    // Chat text and identity are the user's alone, whatever the umask.
    for (const fs::path& dir : {data / "velmar", state / "velmar", home.path() / "config" / "velmar"}) {
        if (!fs::exists(dir)) continue;
        EXPECT_EQ(fs::status(dir).permissions() & fs::perms::all, fs::perms(0700)) << dir;
        for (const auto& entry : fs::directory_iterator(dir))
            EXPECT_EQ(entry.status().permissions() & fs::perms::all,
                      entry.is_directory() ? fs::perms(0700) : fs::perms(0600)) << entry.path();
    }
}

// On a session bus of its own: a second start with a link hands it to the
// running agent and ends at once; a start without one asks the running agent
// to come forward; the first agent still ends in order on SIGTERM.
TEST(AgentProcess, ASecondStartHandsItsLinkToTheRunningAgentOverTheSessionBus) {
    const char* runSession = "/usr/bin/dbus-run-session";
    if (::access(runSession, X_OK) != 0) GTEST_SKIP() << "dbus-run-session is not installed (package dbus)";
    testing::TempDir home;
    const fs::path address = home / "bus-address", pidFile = home / "agent-pid", firstLog = home / "first.log";
    const auto env = agentEnvironment(home.path(), {{"applications", json::array()}, {"steps", json::array()}});
    const auto logged = [&](const fs::path& log, const std::string& text) {
        return waitUntil([&] { return testing::readFile(log).find(text) != std::string::npos; }, 20s);
    };
    // The agent is the session's one program: the shell tells us the bus and
    // its own process id, then becomes the agent.
    const pid_t session = start(runSession,
        {"--", "/bin/sh", "-c", "echo \"$DBUS_SESSION_BUS_ADDRESS\" >\"$1\"; echo $$ >\"$2\"; exec \"$3\" 2>\"$4\"",
         "sh", address.string(), pidFile.string(), agentExe, firstLog.string()}, env);
    ASSERT_GT(session, 0);
    ASSERT_TRUE(logged(firstLog, "[agent] simulated desktop playing")) << testing::readFile(firstLog);
    std::string bus = testing::readFile(address);
    while (!bus.empty() && bus.back() == '\n') bus.pop_back();
    ASSERT_FALSE(bus.empty());
    const pid_t agent = std::stoi(testing::readFile(pidFile));

    auto onBus = env;
    onBus.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus);
    const fs::path secondLog = home / "second.log";
    const struct {
        std::vector<std::string> args;
        const char* answer;
        const char* firstLogs;
    } starts[] = {
        {{"fernhollow://open?from=test"}, "handed it the link", "[agent] another start handed over a link (fernhollow:)"},
        {{}, "asked it to come forward", "[agent] another start asked the agent to come forward"},
    };
    for (const auto& s : starts) {
        EXPECT_EQ(waitForExit(start(agentExe, s.args, onBus, secondLog), 5s), 0) << testing::readFile(secondLog);
        EXPECT_EQ(testing::readFile(secondLog), std::string("[agent] an agent is already running in this session; ") + s.answer + "\n");
        EXPECT_TRUE(logged(firstLog, s.firstLogs)) << testing::readFile(firstLog);
    }

    const auto stopAt = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(agent, SIGTERM), 0);
    const auto status = waitForExit(session, 10s, false);
    if (!status) ::kill(agent, SIGKILL), waitForExit(session, 5s);
    ASSERT_TRUE(status) << "the agent did not end\n" << testing::readFile(firstLog);
    EXPECT_EQ(*status, 0) << testing::readFile(firstLog);
    EXPECT_LE(std::chrono::steady_clock::now() - stopAt, 8s);
    EXPECT_EQ(testing::readFile(firstLog).find("fernhollow://"), std::string::npos) << "links are never written to the log";
}

}  // namespace
}  // namespace velmar
