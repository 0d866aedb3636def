#pragma once
// velmar-fixture-scrub: brings a recorded fixture up to date with the current
// scrubbing tables, so files recorded with older tables lose whatever the
// current tables no longer keep.

#include "json/JsonDecoding.hpp"

#include <iosfwd>
#include <string>
#include <vector>

namespace velmar {

class FixtureScrub {
public:
    struct Result {
        jsondecode::Json document;
        std::size_t texts = 0;    // texts and addresses looked at
        std::size_t changed = 0;  // of which the current tables changed
        // Paths of members the fixture format does not know (or that were
        // null); they could hold anything, so they are not written back.
        std::vector<std::string> dropped;
    };

    // Decodes the document as a fixture (throws jsondecode::DecodeError
    // naming the JSON path otherwise), scrubs every node text and address
    // again, and the free texts of meta and expect: the scenario name, and
    // roles other than "user" and "assistant". The document is written back
    // in the fixture format alone.
    static Result rescrub(const jsondecode::Json& document);

    // Whole tool: IN OUT. Exit status 0 on success, 1 when the input cannot be
    // read or decoded or the output cannot be written, 2 for usage errors.
    static int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
    static int run(const std::string& inPath, const std::string& outPath, std::ostream& out, std::ostream& err);
};

}  // namespace velmar
