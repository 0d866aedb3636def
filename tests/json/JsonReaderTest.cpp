#include "json/JsonDecoding.hpp"
#include "json/JsonReader.hpp"
#include "support/DecodeErrors.hpp"
#include "support/TempFiles.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace velmar {
namespace {

namespace fs = std::filesystem;
namespace jd = jsondecode;

// The library's own verdict and words for a text.
std::optional<std::string> libraryError(const std::string& text) {
    try {
        if (nlohmann::json::parse(text).is_discarded()) return "discarded";
        return std::nullopt;
    } catch (const nlohmann::json::parse_error& e) {
        std::string what = e.what();
        return "invalid JSON: " + what.substr(what.find("] ") + 2);
    }
}

TEST(JsonReader, AcceptsAndWordsErrorsExactlyAsTheLibrary) {
    const struct {
        const char* description;
        std::string text;
    } cases[] = {
        {"plain document", R"({"a": [1, -2, 3.5e-2, true, false, null, "x"], "b": {}})"},
        {"byte order mark", "\xEF\xBB\xBF{\"a\": 1}"},
        {"broken byte order mark", "\xEF\xBB{\"a\": 1}"},
        {"NUL after the value ends the input", std::string("{\"a\": 1} \0 garbage", 18)},
        {"NUL instead of a value", std::string("\0", 1)},
        {"empty input", ""},
        {"trailing comma", "[1, 2,]"},
        {"leading zero", "[01]"},
        {"bare minus", "[-]"},
        {"fraction without digits", "[1.]"},
        {"exponent without digits", "[1e+]"},
        {"escapes", R"(["\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00"])"},
        {"unknown escape", R"(["\x"])"},
        {"short unicode escape", R"(["\u12"])"},
        {"lone high surrogate", R"(["\ud83d"])"},
        {"high surrogate then a non-surrogate", R"(["\ud83d\u0041"])"},
        {"lone low surrogate", R"(["\ude00"])"},
        {"escaped NUL", R"(["a\u0000b"])"},
        {"raw control character", "[\"a\tb\"]"},
        {"overlong encoding", "[\"\xC0\xAF\"]"},
        {"encoded surrogate", "[\"\xED\xA0\x80\"]"},
        {"above U+10FFFF", "[\"\xF4\x90\x80\x80\"]"},
        {"truncated sequence", "[\"\xE2\x82\"]"},
        {"four-byte sequence", "[\"\xF0\x9F\x98\x80\"]"},
        {"unterminated string", "[\"abc"},
        {"missing colon", R"({"a" 1})"},
        {"non-string key", R"({1: 2})"},
        {"two documents", "{} {}"},
        {"literal misspelt", "[tru]"},
        {"comment", "[1] // no"},
        {"huge integer becomes a double", "[123456789012345678901234567890]"},
    };
    for (const auto& c : cases) {
        nlohmann::json ours;
        EXPECT_EQ(testing::decodeError([&] { ours = jd::parse(c.text); }), libraryError(c.text)) << c.description;
        if (!libraryError(c.text)) {
            EXPECT_EQ(ours, nlohmann::json::parse(c.text)) << c.description;
        }
    }
}

TEST(JsonReader, RefusesWhatTheLibraryWouldMisreadWithThePath) {
    const struct {
        const char* description;
        std::string text;
        std::string error;
    } cases[] = {
        {"number too large for a double", R"({"a": [1, {"b": 1e400}]})", "number out of range at a[1].b"},
        {"top-level overflow", "1e999", "number out of range at (root)"},
        {"repeated key", R"({"a": {"b": 1, "c": 2, "b": 3}})", "duplicate key at a.b"},
        {"repeated key at the top", R"({"x": 1, "x": 1})", "duplicate key at x"},
        {"nesting over the limit", std::string(1001, '[') + std::string(1001, ']'),
         "document nests deeper than 1000 levels"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(testing::decodeError([&] { jd::parse(c.text); }), c.error) << c.description;
    }
    EXPECT_NO_THROW(jd::parse("[1e-400, " + std::string(999, '[') + std::string(999, ']') + "]"))
        << "an underflow reads as zero and 1000 levels are allowed";
}

TEST(JsonReaderFile, ReadsInChunksWhatTheLibraryReadsWhole) {
    // Strings, escapes and multi-byte characters falling across every chunk
    // boundary: a long document of varied pieces.
    nlohmann::json doc = nlohmann::json::array();
    const std::string pieces[] = {"plain ascii text", "tab\there \"quoted\" back\\slash", "Grüße — 你好 👍🏽",
                                  std::string(5000, 'x'), "\u2028\u0001"};
    for (int i = 0; i < 400; ++i) {
        doc.push_back({{"i", i}, {"s", pieces[i % 5] + std::to_string(i)}, {"f", i * 0.25}, {"n", nullptr}});
    }
    const testing::TempDir dir;
    for (const auto& text : {doc.dump(), doc.dump(7), doc.dump(-1, ' ', true)}) {
        testing::writeFile(dir / "doc.json", text);
        EXPECT_EQ(jd::parseFile(dir / "doc.json"), doc);
    }
}

TEST(JsonReaderFile, InputsThatAreNotJsonFiles) {
    const testing::TempDir dir;
    const auto sparse = dir / "huge.json";
    std::ofstream(sparse) << "[";
    fs::resize_file(sparse, jd::kMaxInputBytes + 1);  // sparse: nothing is written
    const struct {
        const char* description;
        fs::path file;
        std::string error;
    } cases[] = {
        {"missing", dir / "absent.json", "No such file or directory"},
        {"a directory", dir.path(), "is a directory"},
        {"over the input limit", sparse, "larger than the 256 MiB input limit"},
    };
    for (const auto& c : cases) {
        EXPECT_THAT([&] { jd::parseFile(c.file); }, ::testing::ThrowsMessage<jd::InputError>(c.error)) << c.description;
    }
    // An endless device is refused at its first byte, not read without bound.
    EXPECT_THROW(jd::parseFile("/dev/zero"), jd::DecodeError);
}

}  // namespace
}  // namespace velmar
