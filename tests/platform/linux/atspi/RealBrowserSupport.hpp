#pragma once
// What the real-browser tests (Chromium and Firefox, each in its private
// desktop) share: reading what a page states it shows, waiting for it,
// finding its web area among the browser's windows, and a typed exchange
// captured from a page.

#include "ax/AXElement.hpp"
#include "ax/FixtureDocument.hpp"
#include "platform/linux/system/StderrLogSink.hpp"
#include "platform/linux/system/LinuxEnvironment.hpp"
#include "capture/CaptureDiag.hpp"
#include "capture/CaptureDebug.hpp"
#include "capture/BrowserCaptureController.hpp"
#include "capture/AIAppAllowlist.hpp"
#include "capture/TurnEvent.hpp"
#include "parsing/FixtureParsing.hpp"
#include "parsing/RawTurn.hpp"
#include "parsing/WorkspaceGeminiPanel.hpp"
#include "platform/linux/atspi/AtspiAccessibility.hpp"
#include "platform/linux/system/GLibMainLoop.hpp"
#include "surfaces/AIWebURL.hpp"
#include "surfaces/WebAddress.hpp"
#include "support/TempFiles.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace velmar::linux_backend::real_browser {

using namespace std::chrono_literals;
using velmar::testing::readFile;

// The events a test got, for its failure message.
inline std::string describeEvents(const std::vector<TurnEvent>& events) {
    std::string out;
    for (const auto& e : events)
        out += "\n  #" + std::to_string(e.turnIndex) + " " + e.verdict + " prompt \"" + e.prompt.substr(0, 60) +
               "\" reply \"" + e.response.substr(0, 60) + "\"";
    return out;
}

// A turn's text compared as a person reads it: spaces at line ends do not count.
inline std::string lineTrimmed(const std::string& text) {
    std::string out;
    std::istringstream in(text);
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
        out += (first ? "" : "\n") + line;
        first = false;
    }
    return out;
}

// Turns without their text: the parse of the page and of the tree it was built
// from agree on everything else; the text is what the page states.
inline std::vector<RawTurn> withoutTexts(std::vector<RawTurn> turns) {
    for (auto& turn : turns) turn.text.clear();
    return turns;
}

// Role and text of each turn: the ordinals' totals grow with the conversation.
inline std::vector<std::pair<std::string, std::string>> roleTexts(const std::vector<RawTurn>& turns) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& t : turns) out.emplace_back(t.role, lineTrimmed(t.text));
    return out;
}

inline bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

inline std::string output(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (auto n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

// What the page at this address states its bubbles read (chat.js posts it to
// the page server when the page loads and when a reply ends): role and text
// per turn, and whether a reply was streaming.
struct Statement {
    std::vector<std::pair<std::string, std::string>> turns;
    bool complete = false;
};

inline std::optional<Statement> statement(const std::string& url, bool userOnly) {
    const std::string port = std::getenv("VELMAR_PAGES_PORT") ? std::getenv("VELMAR_PAGES_PORT") : "";
    auto all = nlohmann::json::parse(output("curl -sk --max-time 5 https://127.0.0.1:" + port + "/_velmar/stated.json"),
                                     nullptr, false);
    if (all.is_discarded() || !all.contains(url)) return std::nullopt;
    Statement out;
    out.complete = all[url].value("complete", false);
    for (const auto& t : all[url]["turns"]) {
        if (userOnly && t["role"] != "user") continue;
        out.turns.emplace_back(t["role"].get<std::string>(), lineTrimmed(t["text"].get<std::string>()));
    }
    return out;
}

// A chat page of the private desktop.
struct Page {
    std::string surface;
    std::string fixture;  // the recorded tree the page was built from
    std::string renamedMarker;  // a class the parser relies on
    // Design pages are captured by their prompts alone: the reply is neither
    // parsed nor sent, so a typed prompt adds one turn and its event has no response.
    bool promptsOnly = false;
    // Why some turns of the page's history read otherwise in this browser
    // (Firefox gives no accessible to a plain <span>, so a parser cannot leave
    // out by its class what a span holds: its text is part of the text around it).
    const char* readingGap = nullptr;
    // A typed exchange this browser does not yet capture on this page: said, not hidden.
    const char* captureGap = nullptr;
};

// The pages `keep` picks, for a suite that runs on some of them.
inline std::vector<Page> pagesWhere(const std::vector<Page>& all, bool (*keep)(const Page&)) {
    std::vector<Page> some;
    std::copy_if(all.begin(), all.end(), std::back_inserter(some), keep);
    return some;
}

// The turns read as the page states them. On a page with a known gap only
// its history's turns may read otherwise: a typed exchange never.
inline void expectStatedTexts(const Page& page, const std::vector<RawTurn>& turns, const Statement& stated,
                              std::size_t history) {
    const auto read = roleTexts(turns);
    if (!page.readingGap) {
        EXPECT_EQ(read, stated.turns);
        return;
    }
    ASSERT_EQ(read.size(), stated.turns.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].first, stated.turns[i].first) << "turn " << i;
        if (read[i].second == stated.turns[i].second) continue;
        EXPECT_LT(i, history) << "turn " << i << " of the typed exchange reads otherwise: \"" << read[i].second << "\"";
        std::cout << "[ note ] " << page.surface << " turn " << i << " reads otherwise here: " << page.readingGap
                  << "\n";
    }
}

inline bool waitFor(std::chrono::milliseconds limit, const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(100ms);
    }
    return done();
}

// The first web area showing this address, below the application's windows.
inline AXNodePtr findWebArea(const AXElement& node, const std::string& url, int depth) {
    if (depth > 40) return nullptr;
    if (node.role() == "AXWebArea") {
        auto address = node.attribute("AXURL");
        auto* value = address ? std::get_if<AXURLValue>(&*address) : nullptr;
        if (value && value->absoluteString == url) return std::make_shared<AXElement>(node);
        return nullptr;
    }
    for (const auto& child : node.children()) {
        if (auto found = findWebArea(static_cast<const AXElement&>(*child), url, depth + 1)) return found;
    }
    return nullptr;
}

// The real agent in the background, as the session starts it, with its own
// home and XDG folders under `home` and its output in home/agent.log; 0 if
// it could not start.
inline pid_t spawnAgent(const std::string& home) {
    for (const char* sub : {"run", "data", "state", "config", "cache"}) std::filesystem::create_directories(home + "/" + sub);
    std::filesystem::permissions(home + "/run", std::filesystem::perms::owner_all);
    const std::map<std::string, std::string> own = {
        {"HOME", home}, {"XDG_RUNTIME_DIR", home + "/run"}, {"XDG_DATA_HOME", home + "/data"},
        {"XDG_STATE_HOME", home + "/state"}, {"XDG_CONFIG_HOME", home + "/config"}, {"XDG_CACHE_HOME", home + "/cache"},
        // VELMAR_AGENT_DEBUG=1 puts its capture trace in its log.
        {"VELMAR_CAPTURE_DEBUG", std::getenv("VELMAR_AGENT_DEBUG") ? "1" : "0"}};
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        // Its own runtime directory holds no Wayland socket: GTK takes X.
        if (!own.contains(name) && name != "WAYLAND_DISPLAY") env.push_back(entry);
    }
    for (const auto& [key, value] : own) env.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = std::string(VELMAR_TOOL_DIR) + "/velmar-desktop-agent", background = "--background";
    char* argv[] = {program.data(), background.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = home + "/agent.log";
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : 0;
}

inline void stopAgent(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
}

// The agent itself, started as the session starts it, with the bundled local
// core, capturing beside the test: a typed exchange must end up in the core's
// store once, as the page showed it. Its files live apart under the session.
class AgentBeside {
public:
    static std::unique_ptr<AgentBeside> start() {
        const char* session = std::getenv("VELMAR_SESSION_DIR");
        if (!session || !std::filesystem::exists(std::string(VELMAR_TOOL_DIR) + "/velmar-desktop-agent")) return nullptr;
        auto out = std::unique_ptr<AgentBeside>(new AgentBeside(std::string(session) + "/agent"));
        out->pid_ = spawnAgent(out->home_);
        if (out->pid_ == 0) return nullptr;
        // Ready once its core has made the store; then it attaches to the browser.
        if (!waitFor(30s, [&] { return std::filesystem::exists(out->storePath()); })) return nullptr;
        std::this_thread::sleep_for(2s);
        return out;
    }
    ~AgentBeside() { stopAgent(pid_); }
    std::string storePath() const { return home_ + "/data/velmar/turns.jsonl"; }
    std::string logTail() const {
        const std::string all = readFile(home_ + "/agent.log");
        const std::size_t keep = std::getenv("VELMAR_AGENT_DEBUG") ? 12000 : 2000;
        return all.size() > keep ? all.substr(all.size() - keep) : all;
    }
    // The stored turns of one surface, in the order stored.
    std::vector<nlohmann::json> stored(const std::string& surface) const {
        std::vector<nlohmann::json> out;
        std::ifstream in(storePath());
        std::string line;
        while (std::getline(in, line)) {
            auto turn = nlohmann::json::parse(line, nullptr, false);
            if (!turn.is_discarded() && turn.value("surface", "") == surface) out.push_back(std::move(turn));
        }
        return out;
    }

    // The typed exchange is in the store exactly once: its first line may come
    // a little after the test's own controller saw it, a second never.
    void expectStoredOnce(const std::string& surface, const nlohmann::json& want) const {
        const bool arrived = waitFor(15s, [&] { return !stored(surface).empty(); });
        ASSERT_TRUE(arrived) << surface << ": the agent stored no turn; its log ends:\n" << logTail();
        std::this_thread::sleep_for(3s);  // a repeat or a revision would come by now
        const auto turns = stored(surface);
        ASSERT_EQ(turns.size(), 1u) << surface << ": stored " << nlohmann::json(turns).dump();
        for (const auto& [key, value] : want.items()) {
            EXPECT_EQ(turns[0].value(key, nlohmann::json()), value) << surface << ": stored " << key;
        }
    }

private:
    explicit AgentBeside(std::string home) : home_(std::move(home)) {}
    std::string home_;
    pid_t pid_ = 0;
};

// The private desktop's one browser as a real-browser suite reaches it: its
// accessibility, the pages' addresses, its window and process, and the agent
// capturing beside it. Set up once per suite; elsewhere it stays empty and
// the suite skips.
class BrowserSession {
protected:
    // From the session's variables naming this browser's process and window.
    static void startSession(const char* pidVariable, const char* windowVariable) {
        if (!std::getenv("VELMAR_DESKTOP_SESSION") || !std::getenv(pidVariable)) return;
        accessibility_ = new AtspiAccessibility();
        auto pagesJson = nlohmann::json::parse(readFile(std::string(std::getenv("VELMAR_SESSION_DIR")) + "/pages.json"));
        for (auto& [surface, url] : pagesJson.items()) urls_[surface] = url.get<std::string>();
        window_ = std::getenv(windowVariable);
        agent_ = AgentBeside::start();
        pid_ = std::atoi(std::getenv(pidVariable));
    }
    static void endSession() {
        agent_.reset();
        delete accessibility_;
        accessibility_ = nullptr;
    }

    // Loads an address in the browser's one tab, through the address bar as a person would.
    static void open(const std::string& url) {
        ASSERT_TRUE(run("xdotool windowfocus --sync " + window_ + " && xdotool key --clearmodifiers ctrl+l"));
        // Delete drops the address bar's inline completion (an earlier address
        // that begins with this one, e.g. the same page with a query), so
        // Return loads exactly what was typed.
        ASSERT_TRUE(run("xdotool type --delay 2 '" + url + "' && xdotool key Delete Return"));
    }

    // Loads an address and waits for its page (or for `loaded`); the address bar
    // can miss keys typed while the previous page still loads, so it is typed once more.
    static bool openLoaded(const std::string& url, std::function<bool()> loaded = {}) {
        if (!loaded) loaded = [&] { return webArea(url) != nullptr; };
        open(url);
        if (!waitFor(8s, loaded)) open(url);
        return waitFor(12s, loaded);
    }

    // Keys go astray now and then (see above): a new tab that never showed the page is opened once more.
    static bool openInNewTab(const std::string& url) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!run("xdotool windowfocus --sync " + window_ + " && xdotool key --clearmodifiers ctrl+t")) return false;
            std::this_thread::sleep_for(500ms);
            if (openLoaded(url)) return true;
        }
        return false;
    }

    static AXNodePtr webArea(const std::string& url) {
        auto app = accessibility_->applicationElement(pid_);
        if (!app) return nullptr;
        AXElement root(app);
        for (const auto& window : root.windows()) {
            if (auto found = findWebArea(window, url, 0)) return found;
        }
        return nullptr;
    }

    static std::optional<std::string> conversationKey(const std::string& surface, const std::string& url) {
        auto address = WebAddress::parse(url);
        return surface.starts_with("gemini_") ? AIWebURL::panelConversationId(address, surface)
                                              : AIWebURL::conversationId(address, surface);
    }

    // The surface's parse of what the page shows, as live capture reads it.
    static std::optional<SegmenterSnapshot> parse(const std::string& surface, const std::string& url) {
        auto area = webArea(url);
        if (!area) return std::nullopt;
        // The workspace panels are read from the panel, not the document.
        AXNodePtr scope = surface.starts_with("gemini_") ? WorkspaceGeminiPanel::locate(area) : area;
        if (!scope) return std::nullopt;
        return FixtureParsing::parse(surface, *scope, conversationKey(surface, url));
    }

    // The parse of the recorded tree a page was built from.
    template <class Page>
    static std::optional<SegmenterSnapshot> fixtureParse(const Page& page, const std::string& url) {
        auto doc = FixtureDocument::decodeText(readFile(std::string(VELMAR_FIXTURE_DIR) + "/" + page.fixture));
        doc.tree->wireParents();
        return FixtureParsing::parse(page.surface, *doc.tree, conversationKey(page.surface, url));
    }

    // Focuses the page's composer, found by its role alone (it has no label
    // on some surfaces), and waits until the page has moved the focus there:
    // keys typed before that can land elsewhere.
    static void focusComposer(const std::string& url) {
        auto area = webArea(url);
        ASSERT_TRUE(area);
        std::function<AXNodePtr(const AXNodePtr&, int)> byRole = [&](const AXNodePtr& n, int d) -> AXNodePtr {
            if (d > 40) return nullptr;
            if (n->role() == "AXTextArea") return n;
            for (auto& c : n->children())
                if (auto f = byRole(c, d + 1)) return f;
            return nullptr;
        };
        auto composer = byRole(area, 0);
        ASSERT_TRUE(composer) << "no composer";
        const auto& element = static_cast<const AXElement&>(*composer);
        ASSERT_TRUE(element.raw()->setBoolAttribute("AXFocused", true));
        EXPECT_TRUE(waitFor(3s, [&] { return element.attribute("AXFocused") == AXAttributeValue(true); }))
            << "the composer never took the focus";
    }

    // How the suite's browser is known: the allow-list's name for it, its
    // application's name, and the name its turns carry.
    struct Browser {
        std::string appId, appName, name;
    };

    // The real browser controller, attached to the running browser through the
    // allow-list and woken only by the AT-SPI observer on a real GLib loop,
    // past its first settles; it keeps the events it sends.
    struct Attached {
        GLibMainLoop loop;
        CaptureDiag diag{loop.now()};
        std::vector<TurnEvent> events;
        // VELMAR_CAPTURE_DEBUG=1 shows the controller's reads on standard error.
        linux_backend::StderrLogSink debugSink;
        const CaptureDebug debug{linux_backend::LinuxEnvironment{}, debugSink};
        std::optional<BrowserCaptureController> controller;

        void attach(const Browser& browser) {
            auto spec = AIAppAllowlist::specForAppId(browser.appId);
            ASSERT_TRUE(spec && spec->browserCase()) << browser.appId << " is not allow-listed on this desktop";
            CaptureSchedule::Timings timings;
            timings.settle = 300ms;
            controller.emplace(RunningApplication{pid_, browser.appId, browser.appName, std::nullopt},
                               spec->browserCase()->profile, *accessibility_, loop, diag, timings,
                               [this](const TurnEvent& e) { events.push_back(e); }, nullptr, &debug);
            ASSERT_TRUE(controller->start()) << "no observer on the browser";
            runUntil(loop, 1200ms, [] { return false; });
        }
    };

    // The page's address is classified by the real rules; its parse in the real
    // browser equals the parse of the tree it was built from. Then the real browser
    // controller, attached to the running browser through the allow-list and woken
    // only by the AT-SPI observer on the real GLib loop, does not send the page's
    // history again, and a prompt typed into the page, whose reply streams (seen
    // unfinished first), becomes exactly one turn event: once the reply is complete,
    // or, on a design page, as soon as the prompt shows, and no second one after the
    // reply. The agent running beside the test stores the same exchange once.
    static void checkPageAndTypedExchange(const Page& page, const Browser& browser) {
        const std::string url = urls_.at(page.surface);
        auto address = WebAddress::parse(url);
        auto classified = page.surface.starts_with("gemini_") ? AIWebURL::panelSurface(address) : AIWebURL::surface(address);
        EXPECT_EQ(classified, page.surface);

        auto expected = fixtureParse(page, url);
        ASSERT_TRUE(expected);
        std::optional<SegmenterSnapshot> live;
        auto loaded = [&] {
            live = parse(page.surface, url);
            return live && live->turns.size() == expected->turns.size();
        };
        ASSERT_TRUE(openLoaded(url, loaded)) << "no parse of " << url << " with " << expected->turns.size()
                                          << " turns; got "
                                          << (live ? std::to_string(live->turns.size()) : std::string("no snapshot"));
        EXPECT_EQ(withoutTexts(live->turns), withoutTexts(expected->turns));
        // The text of every turn is what the page states its bubbles read.
        std::optional<Statement> stated;
        ASSERT_TRUE(waitFor(3s, [&] { return (stated = statement(url, page.promptsOnly)).has_value(); }))
            << "the page stated nothing";
        expectStatedTexts(page, live->turns, *stated, expected->turns.size());
        EXPECT_EQ(live->model, expected->model);
        EXPECT_EQ(live->responseComplete, expected->responseComplete);
        EXPECT_EQ(live->conversationKey, expected->conversationKey);
        EXPECT_TRUE(live->conversationKey.has_value());
        EXPECT_FALSE(live->usedParityFallback);

        if (page.captureGap) {
            std::cout << "[ gap  ] " << page.surface << ": typed exchange not checked: " << page.captureGap << std::endl;
            return;
        }

        Attached capture;
        ASSERT_NO_FATAL_FAILURE(capture.attach(browser));
        auto& loop = capture.loop;
        auto& events = capture.events;
        auto& controller = *capture.controller;
        EXPECT_GE(controller.settleRuns(), 1);
        EXPECT_TRUE(events.empty()) << "the history was sent again: " << events.size() << " events";
        events.clear();
        const int settlesBefore = controller.settleRuns();

        // Type a prompt into the composer, as a person would.
        const std::string prompt = "What does the " + page.surface + " page say?";
        const std::size_t added = page.promptsOnly ? 1 : 2;  // turns a typed exchange adds to the parse
        const auto typePrompt = [&] {
            ASSERT_NO_FATAL_FAILURE(focusComposer(url));
            ASSERT_TRUE(run("xdotool key --clearmodifiers ctrl+a BackSpace && xdotool type --delay 5 '" + prompt +
                            "' && xdotool key Return"));
        };
        // Any parse of our own that sees the reply unfinished counts: on a
        // loaded machine the reply may stream while the prompt is waited for.
        bool sawStreaming = false;
        const auto streaming = [&](const std::optional<SegmenterSnapshot>& now) {
            if (now && now->turns.size() == expected->turns.size() + added && !now->responseComplete) sawStreaming = true;
        };
        ASSERT_NO_FATAL_FAILURE(typePrompt());
        // Keys typed through a nested compositor's window are now and then lost
        // before they reach the page: a prompt the page never showed is typed
        // again, and said so, since that is the desktop's doing, not the agent's.
        if (!waitFor(6s, [&] {
                auto now = parse(page.surface, url);
                streaming(now);
                return now && now->turns.size() > expected->turns.size();
            })) {
            std::cout << "[ note ] " << page.surface << ": the typed prompt never reached the page; typing it again"
                      << std::endl;
            ASSERT_NO_FATAL_FAILURE(typePrompt());
        }

        // While the controller waits for the page to settle, a parse of our own
        // sees the reply unfinished.
        ScopedTimer watch = loop.repeating(250ms, 0ms, [&] { streaming(parse(page.surface, url)); });
        ASSERT_TRUE(runUntil(loop, 20s, [&] { return !events.empty(); }))
            << "no turn event; settles since typing: " << controller.settleRuns() - settlesBefore;
        // A prompt's event may come before its reply ends: a second one would come after.
        EXPECT_TRUE(runUntil(loop, 15s, [&] {
            auto now = parse(page.surface, url);
            streaming(now);
            return now && now->turns.size() == expected->turns.size() + added && now->responseComplete;
        })) << "the reply never completed";
        runUntil(loop, 1200ms, [] { return false; });
        controller.stop();
        EXPECT_GT(controller.settleRuns(), settlesBefore) << "the observer never woke the controller";
        EXPECT_TRUE(sawStreaming) << "never saw the reply unfinished";
        ASSERT_EQ(events.size(), 1u) << describeEvents(events);
        const TurnEvent& e = events.front();
        EXPECT_EQ(e.surface, page.surface);
        EXPECT_EQ(e.prompt, prompt);
        // The reply as the page states it once it has ended.
        ASSERT_TRUE(waitFor(5s, [&] {
            stated = statement(url, page.promptsOnly);
            return stated && stated->complete && stated->turns.size() == expected->turns.size() + added;
        })) << "the page never stated the finished exchange";
        EXPECT_EQ(lineTrimmed(e.prompt), stated->turns[stated->turns.size() - added].second);
        EXPECT_EQ(lineTrimmed(e.response), page.promptsOnly ? "" : stated->turns.back().second);
        EXPECT_EQ(e.conversationKey, expected->conversationKey);
        EXPECT_EQ(e.browser, browser.name);
        EXPECT_EQ(e.turnIndex, static_cast<int>(expected->turns.size() + added));
        EXPECT_EQ(e.model, expected->model);
        // The agent beside the test stored the same exchange, once, through its local core.
        ASSERT_TRUE(agent_) << "the agent did not start beside the test";
        agent_->expectStoredOnce(page.surface, {{"prompt", e.prompt}, {"response", e.response}, {"verdict", "ok"},
                                                {"browser", browser.name}, {"turn_index", e.turnIndex},
                                                {"conversation_key", e.conversationKey.value_or("")}});

        // The page as a parse reads it now: its history unchanged, then the exchange.
        live = parse(page.surface, url);
        ASSERT_TRUE(live);
        ASSERT_EQ(live->turns.size(), expected->turns.size() + added);
        EXPECT_TRUE(live->responseComplete);
        EXPECT_EQ(live->turns[live->turns.size() - added].role, "user");
        EXPECT_EQ(live->turns[live->turns.size() - added].text, prompt);
        if (!page.promptsOnly) {
            EXPECT_EQ(live->turns.back().role, "assistant");
        }
        expectStatedTexts(page, live->turns, *stated, expected->turns.size());
    }

    // Runs the loop until `done` holds or `limit` passes.
    static bool runUntil(GLibMainLoop& loop, std::chrono::milliseconds limit, const std::function<bool()>& done) {
        ScopedTimer deadline = loop.postDelayed(limit, [&] { loop.quit(); });
        ScopedTimer poll = loop.repeating(50ms, 0ms, [&] {
            if (done()) loop.quit();
        });
        loop.run();
        return done();
    }

    static inline AtspiAccessibility* accessibility_ = nullptr;
    static inline std::map<std::string, std::string> urls_;
    static inline std::string window_;
    static inline int pid_ = 0;
    static inline std::unique_ptr<AgentBeside> agent_;
};

}  // namespace velmar::linux_backend::real_browser
