#pragma once
// Strict decoding helpers over nlohmann::json that report the exact place of
// the first problem, e.g. "expected string at tree.children[3].role".

#include <nlohmann/json.hpp>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
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

// Parses text; rejects malformed JSON and nesting deeper than maxDepth
// (so recursive decoders can never exhaust the stack).
Json parse(std::string_view text, std::size_t maxDepth = 1000);

// Throws DecodeError "expected <what> at <path>".
[[noreturn]] void fail(std::string_view what, const std::string& path);

const Json& object(const Json& value, const std::string& path);
const Json& array(const Json& value, const std::string& path);
std::string string(const Json& value, const std::string& path);
bool boolean(const Json& value, const std::string& path);
long long integer(const Json& value, const std::string& path);
std::vector<std::string> stringList(const Json& value, const std::string& path);

// A required member: "missing key at <path>" when absent.
const Json& required(const Json& object, std::string_view key, const std::string& path);
// An optional member: absent when missing or null, otherwise decoded strictly.
const Json* optional(const Json& object, std::string_view key);
std::optional<std::string> optionalString(const Json& object, std::string_view key, const std::string& path);
std::optional<bool> optionalBool(const Json& object, std::string_view key, const std::string& path);
std::optional<long long> optionalInteger(const Json& object, std::string_view key, const std::string& path);
std::optional<std::vector<std::string>> optionalStringList(const Json& object, std::string_view key,
                                                           const std::string& path);

}  // namespace velmar::jsondecode
