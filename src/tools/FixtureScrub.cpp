#include "tools/FixtureScrub.hpp"

#include "tools/CommandLine.hpp"

#include "ax/FixtureDocument.hpp"
#include "tools/AXDump.hpp"
#include "tools/FixtureScrubber.hpp"


#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace velmar {

namespace fs = std::filesystem;
namespace jd = jsondecode;

FixtureScrub::Result FixtureScrub::rescrub(const jd::Json& document) {
    // Decoding first means a malformed file is refused with its JSON path
    // before anything is written, and the walk below can trust the shapes.
    FixtureDocument::decode(document);

    Result result;
    result.document = document;
    auto redo = [&](jd::Json& node, const char* key, std::string (*scrubber)(std::string_view)) {
        auto it = node.find(key);
        if (it == node.end() || !it->is_string()) return;
        const auto& before = it->get_ref<const std::string&>();
        auto after = scrubber(before);
        ++result.texts;
        if (after != before) {
            ++result.changed;
            *it = std::move(after);
        }
    };
    // Iterative: a recorded tree may be deep.
    std::vector<jd::Json*> pending{&result.document["tree"]};
    while (!pending.empty()) {
        jd::Json& node = *pending.back();
        pending.pop_back();
        for (const char* key : {"value", "title", "description", "placeholder"}) redo(node, key, FixtureScrubber::scrub);
        // Addresses are recorded on the root only; one found anywhere else is
        // scrubbed the same way rather than left as it was.
        redo(node, "url", FixtureScrubber::scrubURL);
        if (auto it = node.find("children"); it != node.end() && it->is_array()) {
            for (auto& child : *it) pending.push_back(&child);
        }
    }
    return result;
}

namespace {

bool writeAtomically(const fs::path& path, const std::string& bytes, std::string& error) {
    // Written beside the target and renamed over it, so that rewriting a file
    // in place never leaves half a fixture behind.
    fs::path temp = path;
    temp += ".scrub-tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = std::strerror(errno);
            return false;
        }
        out << bytes;
        out.close();
        if (!out) {
            error = "write error";
            std::error_code ignored;
            fs::remove(temp, ignored);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec) {
        error = ec.message();
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

}  // namespace

int FixtureScrub::run(const std::string& inPath, const std::string& outPath, std::ostream& out, std::ostream& err) {
    std::ifstream in(inPath, std::ios::binary);
    if (!in) {
        err << "velmar-fixture-scrub: cannot read " << inPath << ": " << std::strerror(errno) << '\n';
        return 1;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        err << "velmar-fixture-scrub: cannot read " << inPath << '\n';
        return 1;
    }

    Result result;
    try {
        result = rescrub(jd::parse(buffer.str()));
    } catch (const jd::DecodeError& e) {
        err << "velmar-fixture-scrub: " << inPath << ": fixture failed to decode: " << e.what() << '\n';
        return 1;
    }

    const auto bytes = AXDump::prettyJSON(result.document);
    std::string error;
    if (!writeAtomically(outPath, bytes, error)) {
        err << "velmar-fixture-scrub: cannot write " << outPath << ": " << error << '\n';
        return 1;
    }
    out << "scrubbed " << outPath << " (" << bytes.size() << " bytes): " << result.changed << " of " << result.texts
        << " texts changed" << '\n';
    return 0;
}

int FixtureScrub::run(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Scrubs a recorded fixture again with the current tables."};
    app.name("velmar-fixture-scrub");
    std::string inPath, outPath;
    app.add_option("IN", inPath, "fixture to read")->required();
    app.add_option("OUT", outPath, "where to write the scrubbed fixture (may be IN)")->required();
    if (auto status = parseCommandLine(app, argc, argv, out, err, "velmar-fixture-scrub IN OUT")) return *status;
    return run(inPath, outPath, out, err);
}

}  // namespace velmar
