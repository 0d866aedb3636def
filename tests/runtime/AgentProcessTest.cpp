// The real executable end to end: GLib's loop, the bundled local core under
// Node, and the simulated desktop playing a scripted chat in Claude Desktop.
// The turns must reach the core's store, and SIGTERM must end everything
// within 7 s with nothing lost.
#include "capture/ChatPages.hpp"
#include "support/ParserTrees.hpp"
#include "support/TempFiles.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmar {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using nlohmann::json;
using testing::Texts;

std::vector<json> storedTurns(const fs::path& store) {
    std::vector<json> out;
    std::ifstream in(store);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(json::parse(line));
    return out;
}

json claudeWindow(const Texts& turns, bool finished) {
    return testing::group({testing::claudePage("https://claude.ai/chat/cd-1", turns, finished)}).json();
}

// Starts any program with an environment of its own; returns its process id.
pid_t startAgentWith(const std::string& program, const std::vector<std::string>& env, std::vector<std::string> args) {
    args.insert(args.begin(), program);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
    return pid;
}

// Starts the agent with an environment of its own.
pid_t startAgent(const std::vector<std::string>& env, std::vector<std::string> args = {}) {
    return startAgentWith(std::string(VELMAR_TOOL_DIR) + "/velmar-desktop-agent", env, std::move(args));
}

// The exit status, or absent when the process is still running at the deadline.
std::optional<int> waitForExit(pid_t pid, std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(20ms);
    }
    return std::nullopt;
}

TEST(AgentProcess, AScriptedChatReachesTheLocalCoresStoreAndSigtermEndsItWithinSevenSeconds) {
    testing::TempDir home;
    const fs::path runtime = home.path() / "run", data = home.path() / "data", state = home.path() / "state";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);

    const Texts history = {"Old question", "Old answer"};
    Texts first = history, second;
    first.push_back("Summarise the meeting notes");
    const std::string reply1 = "The team agreed to ship on Friday.";
    second = first;
    second.push_back(reply1);
    second.push_back("And the risks?");
    const std::string reply2 = "Only the migration, which is rehearsed.";
    Texts streaming = first;
    streaming.push_back("The team agreed");
    Texts done1 = first;
    done1.push_back(reply1);
    Texts done2 = second;
    done2.push_back(reply2);

    json script = {
        {"applications", {{{"pid", 4242}, {"bundle_id", "com.anthropic.claudefordesktop"}, {"name", "Claude"}}}},
        {"steps",
         {
             // The history is on screen before the agent attaches (1.5 s after launch).
             {{"after_ms", 0}, {"pid", 4242}, {"window", claudeWindow(history, true)}},
             {{"after_ms", 3000}, {"pid", 4242}, {"window", claudeWindow(first, false)}},
             {{"after_ms", 1000}, {"pid", 4242}, {"window", claudeWindow(streaming, false)}},
             {{"after_ms", 1000}, {"pid", 4242}, {"window", claudeWindow(done1, true)}},
             {{"after_ms", 1500}, {"pid", 4242}, {"window", claudeWindow(second, false)}},
             {{"after_ms", 1500}, {"pid", 4242}, {"window", claudeWindow(done2, true)}},
         }},
    };
    const fs::path scriptFile = home.path() / "chat.json";
    std::ofstream(scriptFile) << script.dump();

    std::vector<std::string> env = {
        "HOME=" + home.path().string(),
        "XDG_RUNTIME_DIR=" + runtime.string(),
        "XDG_DATA_HOME=" + data.string(),
        "XDG_STATE_HOME=" + state.string(),
        "XDG_CONFIG_HOME=" + (home.path() / "config").string(),
        "XDG_CACHE_HOME=" + (home.path() / "cache").string(),
        "PATH=" + std::string(getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin"),
        "VELMAR_SIM_DESKTOP=" + scriptFile.string(),
    };
    const pid_t agent = startAgent(env);
    ASSERT_GT(agent, 0);

    // The core creates its store when it starts, well after the agent took
    // its lock: from then on a second agent in the same session (here one
    // without a session bus) refuses.
    const fs::path store = data / "velmar" / "turns.jsonl";
    const auto deadline = std::chrono::steady_clock::now() + 40s;
    while (!fs::exists(store) && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(50ms);
    const pid_t secondAgent = startAgent(env);
    EXPECT_EQ(waitForExit(secondAgent, 10s), 1);

    while (storedTurns(store).size() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);

    const auto stopAt = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(agent, SIGTERM), 0);
    const auto status = waitForExit(agent, 8s);
    const auto took = std::chrono::steady_clock::now() - stopAt;
    if (!status) ::kill(agent, SIGKILL), waitpid(agent, nullptr, 0);
    ASSERT_TRUE(status) << "the agent did not end";
    EXPECT_EQ(*status, 0);
    EXPECT_LE(took, 7s);

    const auto turns = storedTurns(store);
    ASSERT_EQ(turns.size(), 2u);
    EXPECT_EQ(turns[0]["prompt"], "Summarise the meeting notes");
    EXPECT_EQ(turns[0]["response"], reply1);
    EXPECT_EQ(turns[0]["surface"], "claude_desktop");
    EXPECT_EQ(turns[1]["prompt"], "And the risks?");
    EXPECT_EQ(turns[1]["response"], reply2);
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

std::string readAll(const fs::path& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool waitForText(const fs::path& file, const std::string& text, std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (std::chrono::steady_clock::now() < deadline) {
        if (readAll(file).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

// Runs a program to its end with stderr in a file; its exit status, absent
// when it overstays.
std::optional<int> runToEnd(const std::string& program, const std::vector<std::string>& args,
                            const std::vector<std::string>& env, const fs::path& errors,
                            std::chrono::milliseconds within) {
    std::vector<std::string> all = args;
    all.insert(all.begin(), program);
    std::vector<char*> argv, envp;
    for (auto& a : all) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return std::nullopt;
    auto status = waitForExit(pid, within);
    if (!status) ::kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    return status;
}

// On a session bus of its own: a second start with a link hands it to the
// running agent and ends at once; a start without one asks the running agent
// to come forward; the first agent still ends in order on SIGTERM.
TEST(AgentProcess, ASecondStartHandsItsLinkToTheRunningAgentOverTheSessionBus) {
    const char* runSession = "/usr/bin/dbus-run-session";
    if (::access(runSession, X_OK) != 0) GTEST_SKIP() << "dbus-run-session is not installed (package dbus)";
    testing::TempDir home;
    const fs::path runtime = home.path() / "run";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    const fs::path scriptFile = home.path() / "desktop.json";
    std::ofstream(scriptFile) << json{{"applications", json::array()}, {"steps", json::array()}}.dump();
    const fs::path address = home.path() / "bus-address", pidFile = home.path() / "agent-pid";
    const fs::path firstLog = home.path() / "first.log";

    std::vector<std::string> env = {
        "HOME=" + home.path().string(),
        "XDG_RUNTIME_DIR=" + runtime.string(),
        "XDG_DATA_HOME=" + (home.path() / "data").string(),
        "XDG_STATE_HOME=" + (home.path() / "state").string(),
        "XDG_CONFIG_HOME=" + (home.path() / "config").string(),
        "XDG_CACHE_HOME=" + (home.path() / "cache").string(),
        "PATH=" + std::string(getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin"),
        "VELMAR_SIM_DESKTOP=" + scriptFile.string(),
    };
    // The agent is the session's one program: the shell tells us the bus and
    // its own process id, then becomes the agent.
    const std::string exe = std::string(VELMAR_TOOL_DIR) + "/velmar-desktop-agent";
    const pid_t session = startAgentWith(runSession, env,
        {"--", "/bin/sh", "-c", "echo \"$DBUS_SESSION_BUS_ADDRESS\" >\"$1\"; echo $$ >\"$2\"; exec \"$3\" 2>\"$4\"",
         "sh", address.string(), pidFile.string(), exe, firstLog.string()});
    ASSERT_GT(session, 0);
    ASSERT_TRUE(waitForText(firstLog, "[agent] simulated desktop playing", 20s)) << readAll(firstLog);
    std::string bus = readAll(address);
    while (!bus.empty() && bus.back() == '\n') bus.pop_back();
    ASSERT_FALSE(bus.empty());
    const pid_t agent = std::stoi(readAll(pidFile));

    std::vector<std::string> onBus = env;
    onBus.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus);
    const fs::path secondLog = home.path() / "second.log";
    EXPECT_EQ(runToEnd(exe, {"fernhollow://open?from=test"}, onBus, secondLog, 5s), 0) << readAll(secondLog);
    EXPECT_EQ(readAll(secondLog), "[agent] an agent is already running in this session; handed it the link\n");
    EXPECT_TRUE(waitForText(firstLog, "[agent] another start handed over a link (fernhollow:)", 5s)) << readAll(firstLog);

    EXPECT_EQ(runToEnd(exe, {}, onBus, secondLog, 5s), 0) << readAll(secondLog);
    EXPECT_EQ(readAll(secondLog), "[agent] an agent is already running in this session; asked it to come forward\n");
    EXPECT_TRUE(waitForText(firstLog, "[agent] another start asked the agent to come forward", 5s)) << readAll(firstLog);

    const auto stopAt = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(agent, SIGTERM), 0);
    const auto status = waitForExit(session, 10s);
    if (!status) ::kill(agent, SIGKILL), waitForExit(session, 5s);
    ASSERT_TRUE(status) << "the agent did not end\n" << readAll(firstLog);
    EXPECT_EQ(*status, 0) << readAll(firstLog);
    EXPECT_LE(std::chrono::steady_clock::now() - stopAt, 8s);
    EXPECT_EQ(readAll(firstLog).find("fernhollow://"), std::string::npos) << "links are never written to the log";
}

}  // namespace
}  // namespace velmar
