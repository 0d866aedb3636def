// Measures the fixture reader in a fresh process, for bench/fixture-reader.sh:
//   generate OUT [NODES]   a fixture of about NODES nodes (default 30,000), grown
//                          from the largest bundled fixture by repeating its
//                          transcript, with the expectation the parsers give
//   time FILE [REPEAT]     best wall time of reading FILE into nodes, in ms
//   memory FILE            the most heap that reading FILE holds at once, and how
//                          much it raises the peak resident size, in bytes
#include "ax/FixtureDocument.hpp"
#include "parsing/FixtureParsing.hpp"
#include "tools/AXDump.hpp"
#include "tools/FixtureCheck.hpp"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

// Every allocation counted by its real block size, to find the heap's high-water mark.
namespace heap {
bool counting = false;  // off while timing: the count itself costs
long long live = 0;  // may dip below zero when something older is freed
long long peak = 0;
void* take(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    if (counting) {
        live += static_cast<long long>(malloc_usable_size(p));
        peak = std::max(peak, live);
    }
    return p;
}
void give(void* p) {
    if (!p) return;
    if (counting) live -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}
}  // namespace heap

void* operator new(std::size_t size) { return heap::take(size); }
void* operator new[](std::size_t size) { return heap::take(size); }
void operator delete(void* p) noexcept { heap::give(p); }
void operator delete[](void* p) noexcept { heap::give(p); }
void operator delete(void* p, std::size_t) noexcept { heap::give(p); }
void operator delete[](void* p, std::size_t) noexcept { heap::give(p); }

namespace fs = std::filesystem;
using namespace velmar;
using Json = nlohmann::json;

namespace {

FixtureDocument readFixture(const std::string& path) { return FixtureDocument::readFile(path); }

std::size_t countNodes(const Json& node) {
    std::size_t n = 1;
    if (auto it = node.find("children"); it != node.end()) for (const auto& c : *it) n += countNodes(c);
    return n;
}

// The node with the most children: a conversation's transcript.
Json* widest(Json& node) {
    Json* best = &node;
    std::size_t bestWidth = node.contains("children") ? node["children"].size() : 0;
    if (auto it = node.find("children"); it != node.end()) {
        for (auto& c : *it) {
            Json* w = widest(c);
            std::size_t width = w->contains("children") ? (*w)["children"].size() : 0;
            if (width > bestWidth) best = w, bestWidth = width;
        }
    }
    return best;
}

std::string largestBundledFixture() {
    std::vector<std::string> missing;
    auto files = FixtureCheck::collect({VELMAR_FIXTURE_DIR}, missing);
    return std::max_element(files.begin(), files.end(), [](const auto& a, const auto& b) {
               return fs::file_size(a) < fs::file_size(b);
           })->string();
}

int generate(const std::string& out, std::size_t nodes) {
    std::ifstream in(largestBundledFixture(), std::ios::binary);
    Json doc = Json::parse(in);
    Json* transcript = widest(doc["tree"]);
    const Json turns = (*transcript)["children"];
    for (std::size_t i = 0; countNodes(doc["tree"]) < nodes; ++i) {
        for (const auto& t : turns) (*transcript)["children"].push_back(t);
    }
    // Record what the parsers make of the grown tree, as the recorder would.
    auto parsed = FixtureDocument::decode(doc);
    parsed.tree->wireParents();
    bool derivable = false;
    auto key = FixtureCheck::deriveKey(parsed, derivable);
    auto snap = FixtureParsing::parse(parsed.meta.surface, *parsed.tree, key);
    auto& expect = doc["expect"];
    expect = Json::object();
    expect["turnCount"] = snap ? snap->turns.size() : 0;
    if (snap) {
        Json roles = Json::array();
        bool artifact = false;
        for (const auto& t : snap->turns) roles.push_back(t.role), artifact = artifact || t.producedArtifact.value_or(false);
        expect["roles"] = roles;
        expect["modelPresent"] = snap->model.has_value();
        expect["responseComplete"] = snap->responseComplete;
        expect["conversationKeyPresent"] = snap->conversationKey.has_value();
        expect["usedParityFallback"] = snap->usedParityFallback;
        if (snap->inProject) expect["inProject"] = *snap->inProject;
        expect["producedArtifact"] = artifact;
    }
    std::ofstream(out, std::ios::binary) << AXDump::prettyJSON(doc);
    std::cout << countNodes(doc["tree"]) << " nodes, " << fs::file_size(out) << " bytes\n";
    return 0;
}

long statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "generate" && argc > 2) return generate(argv[2], argc > 3 ? std::stoul(argv[3]) : 30000);
    if (mode == "largest") {
        std::cout << largestBundledFixture() << '\n';
        return 0;
    }
    if (mode == "time" && argc > 2) {
        const int repeat = argc > 3 ? std::atoi(argv[3]) : 10;
        double best = 1e300;
        for (int i = 0; i < repeat; ++i) {
            const auto start = std::chrono::steady_clock::now();
            auto doc = readFixture(argv[2]);
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            if (!doc.tree) return 1;
            best = std::min(best, took.count());
        }
        std::printf("%.4f\n", best);
        return 0;
    }
    if (mode == "memory" && argc > 2) {
        const long before = statusKiB("VmHWM:");
        heap::counting = true;  // what is freed from here on was taken from here on
        auto doc = readFixture(argv[2]);
        const long long heapPeak = heap::peak;
        heap::counting = false;
        const long after = statusKiB("VmHWM:");
        std::printf("%lld %ld\n", heapPeak, (after - before) * 1024);
        return doc.tree ? 0 : 1;
    }
    std::cerr << "usage: velmar-fixture-read-bench generate OUT [NODES] | largest | time FILE [REPEAT] | memory FILE\n";
    return 2;
}
