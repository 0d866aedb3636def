#include "tools/FixtureScrub.hpp"

#include "tools/CommandLine.hpp"

#include "ax/FixtureDocument.hpp"
#include "tools/AXDump.hpp"
#include "tools/FixtureScrubber.hpp"

#include "capture/TurnEvent.hpp"
#include "surfaces/BrowserProfile.hpp"
#include "text/Regex.hpp"


#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmar {

namespace fs = std::filesystem;
namespace jd = jsondecode;

namespace {

// Members of `in` that `out` does not have, by path.
void findDropped(const jd::Json& in, const jd::Json& out, const std::string& path, std::vector<std::string>& dropped) {
    if (in.is_object() && out.is_object()) {
        for (const auto& [key, value] : in.items()) {
            auto it = out.find(key);
            if (it == out.end()) dropped.push_back(jd::child(path, key));
            else findDropped(value, *it, jd::child(path, key), dropped);
        }
    } else if (in.is_array() && out.is_array()) {
        for (std::size_t i = 0; i < in.size() && i < out.size(); ++i) {
            findDropped(in[i], out[i], jd::element(path, i), dropped);
        }
    }
}

bool isVersion(const std::string& v) {
    static const text::Regex version("^(dev|[0-9]{1,4}(\\.[0-9]{1,4}){0,3})$");
    return version.search(v);
}

}  // namespace

FixtureScrub::Result FixtureScrub::rescrub(const jd::Json& document) {
    auto doc = FixtureDocument::decode(document);
    Result result;
    auto redo = [&](std::string& textValue, std::string (*scrubber)(std::string_view)) {
        auto after = scrubber(textValue);
        ++result.texts;
        if (after != textValue) {
            ++result.changed;
            textValue = std::move(after);
        }
    };

    redo(doc.meta.scenario, FixtureScrubber::scrub);
    if (doc.meta.browser && !BrowserProfile::isKnownSlug(*doc.meta.browser)) redo(*doc.meta.browser, FixtureScrubber::mask);
    if (doc.meta.recordedAt && !parseObservedAt(*doc.meta.recordedAt)) redo(*doc.meta.recordedAt, FixtureScrubber::mask);
    if (doc.meta.agentVersion && !isVersion(*doc.meta.agentVersion)) redo(*doc.meta.agentVersion, FixtureScrubber::mask);
    if (doc.expect.roles) {
        for (auto& role : *doc.expect.roles) {
            if (role != "user" && role != "assistant") redo(role, FixtureScrubber::mask);
        }
    }

    using Text = FixtureNode::Text;
    // Iterative: a recorded tree may be deep.
    std::vector<FixtureNode*> pending{doc.tree.get()};
    while (!pending.empty()) {
        FixtureNode* node = pending.back();
        pending.pop_back();
        for (Text which : {Text::value, Text::title, Text::description, Text::placeholder, Text::url}) {
            const auto* current = node->text(which);
            if (!current) continue;
            std::string textValue = *current;
            // Addresses are recorded on the root only; one found anywhere else
            // is scrubbed the same way rather than left as it was.
            redo(textValue, which == Text::url ? FixtureScrubber::scrubURL : FixtureScrubber::scrub);
            node->setText(which, std::move(textValue));
        }
        for (const auto& child : node->childList) pending.push_back(child.get());
    }

    result.document = doc.toJSON();
    findDropped(document, result.document, "", result.dropped);
    return result;
}

namespace {

// Written to a new file of its own beside the target and renamed over it:
// rewriting in place never leaves half a fixture behind, and a file or link
// planted under a predictable name is never written through.
bool writeAtomically(const fs::path& path, const std::string& bytes, std::string& error) {
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::string temp = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    auto fail = [&](const std::string& why) {
        error = why;
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    };
    // mkostemp creates the file private to its owner; a fixture is ordinary data.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0) return fail(std::strerror(errno));
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(n < 0 ? std::strerror(errno) : "write error");
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        error = std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

int FixtureScrub::run(const std::string& inPath, const std::string& outPath, std::ostream& out, std::ostream& err) {
    auto read = jd::readingFile([&] { return rescrub(jd::parseFile(inPath)); });
    if (const auto* problem = std::get_if<jd::FileProblem>(&read)) {
        err << "velmar-fixture-scrub: " << (problem->unreadable ? "cannot read " + inPath + ": "
                                                                : inPath + ": fixture failed to decode: ")
            << problem->what << '\n';
        return 1;
    }
    const auto& result = std::get<Result>(read);

    const auto bytes = AXDump::prettyJSON(result.document);
    std::string error;
    if (!writeAtomically(outPath, bytes, error)) {
        err << "velmar-fixture-scrub: cannot write " << outPath << ": " << error << '\n';
        return 1;
    }
    if (!result.dropped.empty()) {
        err << "velmar-fixture-scrub: " << inPath << ": dropped what the fixture format does not know:";
        for (const auto& path : result.dropped) err << ' ' << path;
        err << '\n';
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
