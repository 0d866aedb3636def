#pragma once
// velmar-fixture-scrub: brings a recorded fixture up to date with the current
// scrubbing tables, so files recorded with older tables lose whatever the
// current tables no longer keep.

#include "json/JsonDecoding.hpp"

#include <iosfwd>
#include <string>

namespace velmar {

class FixtureScrub {
public:
    struct Result {
        jsondecode::Json document;
        std::size_t texts = 0;    // texts and addresses looked at
        std::size_t changed = 0;  // of which the current tables changed
    };

    // Checks that the document decodes as a fixture (throws
    // jsondecode::DecodeError naming the JSON path otherwise), then scrubs
    // every node text and address again. Everything else is kept as it was.
    static Result rescrub(const jsondecode::Json& document);

    // Whole tool: IN OUT. Exit status 0 on success, 1 when the input cannot be
    // read or decoded or the output cannot be written, 2 for usage errors.
    static int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
    static int run(const std::string& inPath, const std::string& outPath, std::ostream& out, std::ostream& err);
};

}  // namespace velmar
