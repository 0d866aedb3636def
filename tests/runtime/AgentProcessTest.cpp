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

#include <spawn.h>
#include <sys/wait.h>

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

// Starts the agent with an environment of its own; returns its process id.
pid_t startAgent(const std::vector<std::string>& env, std::vector<std::string> args = {}) {
    const std::string exe = std::string(VELMAR_TOOL_DIR) + "/velmar-desktop-agent";
    args.insert(args.begin(), exe);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
    return pid;
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
    // its lock: from then on a second agent in the same session refuses.
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
    EXPECT_FALSE(fs::exists(state / "velmar" / "pending-turns.jsonl")) << "nothing left waiting";
}

}  // namespace
}  // namespace velmar
