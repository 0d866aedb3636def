#pragma once
// velmar-fixture-check: parses recorded trees offline and compares the result
// with what the live parse produced when each fixture was recorded.

#include "parsing/SegmenterSnapshot.hpp"

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

struct FixtureDocument;

class FixtureCheck {
public:
    struct Result {
        std::string path;
        std::optional<std::string> surface;
        bool passed = false;
        std::optional<std::string> reason;
        std::optional<SegmenterSnapshot> snapshot;
    };

    enum class Output { Lines, Json, Turns };

    // Fixture files under the given paths: a file as named, a directory searched
    // recursively for *.json in sorted order. Missing paths are reported in `missing`.
    static std::vector<std::filesystem::path> collect(const std::vector<std::string>& paths,
                                                      std::vector<std::string>& missing);

    // Decodes, wires and parses one fixture file and checks its expectations.
    static Result check(const std::filesystem::path& file, const std::optional<std::string>& key);

    // The conversation key live capture would have had for this fixture, if it can be derived.
    static std::optional<std::string> deriveKey(const FixtureDocument& doc, bool& derivable);

    // Whole tool: returns the exit status (0 all passed, 1 a failure, 2 usage).
    static int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
    static int run(const std::vector<std::string>& paths, const std::optional<std::string>& key, Output output,
                   std::ostream& out, std::ostream& err);

    static void printTurns(const Result& result, std::ostream& out);
};

}  // namespace velmar
