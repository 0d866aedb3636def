#include "json/JsonDecoding.hpp"

#include <cmath>

namespace velmar::jsondecode {

std::string child(const std::string& path, std::string_view key) {
    return path.empty() ? std::string(key) : path + "." + std::string(key);
}

std::string element(const std::string& path, std::size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

std::string describe(const std::string& path) { return path.empty() ? "(root)" : path; }

namespace {
// Depth of the deepest nesting, scanned without recursion, so that a hostile
// document is refused before any recursive code sees it.
bool nestsDeeperThan(std::string_view text, std::size_t maxDepth) {
    std::size_t depth = 0;
    bool inString = false, escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') inString = true;
        else if (c == '[' || c == '{') {
            if (++depth > maxDepth) return true;
        } else if ((c == ']' || c == '}') && depth > 0) --depth;
    }
    return false;
}
}  // namespace

Json parse(std::string_view text, std::size_t maxDepth) {
    if (nestsDeeperThan(text, maxDepth)) {
        throw DecodeError("document nests deeper than " + std::to_string(maxDepth) + " levels");
    }
    try {
        return Json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::parse_error& e) {
        std::string what = e.what();
        // Drop the library's "[json.exception.parse_error.101] " prefix.
        if (auto p = what.find("] "); p != std::string::npos) what = what.substr(p + 2);
        throw DecodeError("invalid JSON: " + what);
    }
}

void fail(std::string_view what, const std::string& path) {
    throw DecodeError("expected " + std::string(what) + " at " + describe(path));
}

const Json& object(const Json& value, const std::string& path) {
    if (!value.is_object()) fail("object", path);
    return value;
}

const Json& array(const Json& value, const std::string& path) {
    if (!value.is_array()) fail("array", path);
    return value;
}

std::string string(const Json& value, const std::string& path) {
    if (!value.is_string()) fail("string", path);
    return value.get<std::string>();
}

bool boolean(const Json& value, const std::string& path) {
    if (!value.is_boolean()) fail("boolean", path);
    return value.get<bool>();
}

long long integer(const Json& value, const std::string& path) {
    if (value.is_number_integer()) return value.get<long long>();
    if (value.is_number_float()) {
        double d = value.get<double>();
        if (std::isfinite(d) && std::floor(d) == d && std::fabs(d) < 9.0e15) return static_cast<long long>(d);
    }
    fail("integer", path);
}

std::vector<std::string> stringList(const Json& value, const std::string& path) {
    array(value, path);
    std::vector<std::string> out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) out.push_back(string(value[i], element(path, i)));
    return out;
}

const Json& required(const Json& obj, std::string_view key, const std::string& path) {
    auto it = obj.find(key);
    if (it == obj.end()) throw DecodeError("missing key at " + child(path, key));
    return *it;
}

const Json* optional(const Json& obj, std::string_view key) {
    auto it = obj.find(key);
    if (it == obj.end() || it->is_null()) return nullptr;
    return &*it;
}

std::optional<std::string> optionalString(const Json& obj, std::string_view key, const std::string& path) {
    if (auto* v = optional(obj, key)) return string(*v, child(path, key));
    return std::nullopt;
}

std::optional<bool> optionalBool(const Json& obj, std::string_view key, const std::string& path) {
    if (auto* v = optional(obj, key)) return boolean(*v, child(path, key));
    return std::nullopt;
}

std::optional<long long> optionalInteger(const Json& obj, std::string_view key, const std::string& path) {
    if (auto* v = optional(obj, key)) return integer(*v, child(path, key));
    return std::nullopt;
}

std::optional<std::vector<std::string>> optionalStringList(const Json& obj, std::string_view key,
                                                           const std::string& path) {
    if (auto* v = optional(obj, key)) return stringList(*v, child(path, key));
    return std::nullopt;
}

}  // namespace velmar::jsondecode
