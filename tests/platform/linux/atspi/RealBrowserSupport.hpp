#pragma once
// What the real-browser tests (Chromium and Firefox, each in its private
// desktop) share: reading what a page states it shows, waiting for it, and
// finding its web area among the browser's windows.

#include "ax/AXElement.hpp"
#include "parsing/RawTurn.hpp"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace velmar::linux_backend::real_browser {

using namespace std::chrono_literals;

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

// A turn without its text: the parse of the page and of the tree it was built
// from agree on everything else; the text is what the page states.
inline RawTurn withoutText(RawTurn turn) {
    turn.text.clear();
    return turn;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
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

}  // namespace velmar::linux_backend::real_browser
