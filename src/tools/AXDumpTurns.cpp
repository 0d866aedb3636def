// "ax-turns": what capture would read from every live target right now, as
// readable text or as one JSON object per turn. Nothing is sent or written
// anywhere but to standard output.
#include "tools/AXDump.hpp"
#include "tools/CommandLine.hpp"

#include <nlohmann/json.hpp>

#include <ostream>

namespace velmar {
namespace {

void printJSON(const AXDump::Target& target, const std::string& title, std::ostream& out) {
    const auto& parse = *target.parse;
    for (const auto& turn : parse.turns) {
        nlohmann::ordered_json line;
        line["surface"] = target.surface;
        line["browser"] = target.origin == "native" ? nlohmann::ordered_json() : nlohmann::ordered_json(target.origin);
        line["conversationKey"] = parse.conversationKey ? nlohmann::ordered_json(*parse.conversationKey)
                                                        : nlohmann::ordered_json();
        line["title"] = title;
        line["ordinal"] = turn.index;
        line["role"] = turn.role;
        line["text"] = turn.text;
        line["complete"] = parse.responseComplete;
        out << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    }
}

void printReadable(const AXDump::Target& target, const std::string& title, std::ostream& out) {
    out << "── " << target.surface << " (" << target.origin << ")  " << title << "\n";
    if (!target.parse) {
        out << "  no conversation read\n";
        return;
    }
    const auto& parse = *target.parse;
    out << "  key=" << parse.conversationKey.value_or("nil") << " complete=" << (parse.responseComplete ? "true" : "false")
        << " turns=" << parse.turns.size() << "\n";
    for (const auto& turn : parse.turns) {
        out << "#" << turn.index << " " << turn.role << ":\n";
        std::size_t start = 0;
        for (;;) {
            auto end = turn.text.find('\n', start);
            out << "    " << turn.text.substr(start, end == std::string::npos ? std::string::npos : end - start) << "\n";
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
}

}  // namespace

int AXDump::turns(const std::vector<std::string>& arguments, ToolContext& context) {
    CLI::App app("Prints the turns every live capture target shows now.", "ax-turns");
    std::string surface;
    bool json = false;
    app.add_option("--surface", surface, "only targets of this surface");
    app.add_flag("--json", json, "one JSON object per turn");
    std::vector<const char*> argv{"ax-turns"};
    for (const auto& a : arguments) argv.push_back(a.c_str());
    if (auto status = parseCommandLine(app, static_cast<int>(argv.size()), argv.data(), context.out, context.err,
                                       turnsUsage)) {
        return *status;
    }
    try {
        std::vector<Target> targets;
        for (auto& t : liveTargets(context, [](const std::string&) {})) {
            if (surface.empty() || t.surface == surface) targets.push_back(std::move(t));
        }
        if (targets.empty()) {
            context.err << noTargetsMessage() << std::flush;
            return 2;
        }
        for (const auto& target : targets) {
            const auto title = target.scope.title().value_or("");
            if (!json) printReadable(target, title, context.out);
            else if (target.parse) printJSON(target, title, context.out);
        }
        context.out << std::flush;
        return 0;
    } catch (const std::exception& e) {
        context.err << "ax-turns: " << e.what() << "\n" << std::flush;
        return 1;
    }
}

}  // namespace velmar
