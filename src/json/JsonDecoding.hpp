#pragma once
// Strict decoding helpers over nlohmann::json that report the exact place of
// the first problem, e.g. "expected string at tree.children[3].role".

#include "json/JsonReader.hpp"

#include <nlohmann/json.hpp>

#include <climits>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace velmar::jsondecode {

using Json = nlohmann::json;

class DecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Paths: "" is the document itself; keys join with ".", elements with "[i]".
std::string child(const std::string& path, std::string_view key);
std::string element(const std::string& path, std::size_t index);
std::string describe(const std::string& path);  // "(root)" for the document itself

// Parses text (through JsonReader); rejects malformed JSON, nesting deeper
// than maxDepth (so recursive decoders can never exhaust the stack), a key
// repeated in one object ("duplicate key at meta.surface") and a number too
// large for a double ("number out of range at steps[0].x").
Json parse(std::string_view text, std::size_t maxDepth = 1000);
// The same over a file read in chunks; also throws InputError (JsonReader.hpp)
// for a missing or unreadable file, a directory, or one over the input limit.
Json parseFile(const std::filesystem::path& file, std::size_t maxDepth = 1000);

// What kept a file's document from being read: the file itself (missing,
// unreadable, too large), or its JSON or content (a DecodeError).
struct FileProblem {
    bool unreadable = false;
    std::string what;
};

// What `read` (which reads and decodes a file) returns, or its problem.
template <typename Read>
auto readingFile(Read&& read) -> std::variant<std::invoke_result_t<Read>, FileProblem> {
    try {
        return read();
    } catch (const InputError& e) {
        return FileProblem{true, e.what()};
    } catch (const DecodeError& e) {
        return FileProblem{false, e.what()};
    }
}

// Hands a document tree to a handler as the reader would have, so one
// handler decodes text, files and trees built in memory alike.
void emit(const Json& value, JsonHandler& handler);

// Throws DecodeError "expected <what> at <path>".
[[noreturn]] void fail(std::string_view what, const std::string& path);

const Json& object(const Json& value, const std::string& path);
const Json& array(const Json& value, const std::string& path);
std::string string(const Json& value, const std::string& path);
bool boolean(const Json& value, const std::string& path);
// An integer, or an integral number written with a fraction or exponent
// below 9e15; one that does not fit [min, max] is refused as
// "expected integer from MIN to MAX at <path>" rather than cut.
long long integer(const Json& value, const std::string& path, long long min = LLONG_MIN, long long max = LLONG_MAX);
int int32(const Json& value, const std::string& path);
// The same rules for a number straight from the reader.
long long integer(const Number& value, const std::string& path, long long min = LLONG_MIN, long long max = LLONG_MAX);
std::vector<std::string> stringList(const Json& value, const std::string& path);

// A required member: "missing key at <path>" when absent.
const Json& required(const Json& object, std::string_view key, const std::string& path);
// An optional member: absent when missing or null, otherwise decoded strictly.
const Json* optional(const Json& object, std::string_view key);
std::optional<std::string> optionalString(const Json& object, std::string_view key, const std::string& path);
std::optional<bool> optionalBool(const Json& object, std::string_view key, const std::string& path);
std::optional<long long> optionalInteger(const Json& object, std::string_view key, const std::string& path,
                                         long long min = LLONG_MIN, long long max = LLONG_MAX);
std::optional<std::vector<std::string>> optionalStringList(const Json& object, std::string_view key,
                                                           const std::string& path);

}  // namespace velmar::jsondecode
