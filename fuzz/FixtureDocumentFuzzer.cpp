// Fixture decoding and checking: any bytes as a fixture file.
// - The reader accepts exactly what nlohmann accepts (its own limits aside:
//   repeated keys, numbers out of range, nesting) and builds the same tree.
// - Handing the text over in small windows, as a file is read, changes nothing.
// - A decoded fixture encodes and decodes to itself, and its surface's parser
//   runs on it.
#include "ax/FixtureDecoder.hpp"
#include "ax/FixtureDocument.hpp"
#include "parsing/FixtureParsing.hpp"
#include "support/FuzzCheck.hpp"
#include "tools/FixtureCheck.hpp"

#include <cstdint>
#include <optional>
#include <string>

using namespace velmar;
namespace jd = velmar::jsondecode;

namespace {

bool isLimit(const std::string& error) {
    return error.starts_with("duplicate key") || error.starts_with("number out of range") ||
           error.starts_with("document nests deeper");
}

// The decoded document as JSON, or the error, reading the text `window` bytes at a time.
std::string decodeInWindows(std::string_view text, std::size_t window) {
    auto decoder = FixtureDecoder::forDocument();
    try {
        jd::read(text, decoder, 1000, window);
        return decoder.document().toJSON().dump();
    } catch (const jd::DecodeError& e) {
        return std::string("error: ") + e.what();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::optional<jd::Json> ours;
    std::string error;
    try {
        ours = jd::parse(text);
    } catch (const jd::DecodeError& e) {
        error = e.what();
    }
    if (!isLimit(error)) {
        const bool library = jd::Json::accept(text);
        fuzz::check(ours.has_value() == library, ours ? "accepted what the library refuses" : "refused: " + error);
        if (ours) fuzz::check(*ours == jd::Json::parse(text), "a different tree than the library's");
    }

    const std::string whole = decodeInWindows(text, 0);
    for (std::size_t window : {1, 2, 5, 64}) {
        fuzz::check(decodeInWindows(text, window) == whole, "reading in windows changed the outcome");
    }

    if (whole.starts_with("error: ")) return 0;
    auto doc = FixtureDocument::decodeText(text);
    fuzz::check(FixtureDocument::decode(doc.toJSON()).toJSON() == doc.toJSON(), "encoding does not round-trip");
    doc.tree->wireParents();
    bool derivable = false;
    const auto key = FixtureCheck::deriveKey(doc, derivable);
    (void)FixtureParsing::parse(doc.meta.surface, *doc.tree, key);
    return 0;
}
