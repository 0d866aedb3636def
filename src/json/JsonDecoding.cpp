#include "json/JsonDecoding.hpp"

#include "json/JsonReader.hpp"

#include <climits>
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

// Builds the document tree from the reader's values.
class DomBuilder final : public JsonHandler {
public:
    Json result;

    void null() override { put(Json(nullptr)); }
    void boolean(bool v) override { put(Json(v)); }
    void number(const Number& n) override {
        switch (n.kind) {
            case Number::Kind::signedInteger: put(Json(n.signedValue)); break;
            case Number::Kind::unsignedInteger: put(Json(n.unsignedValue)); break;
            case Number::Kind::floating: put(Json(n.floatValue)); break;
        }
    }
    void string(std::string_view v) override { put(Json(std::string(v))); }
    void startObject() override { stack_.push_back({put(Json::object()), {}, 0}); }
    void startArray() override { stack_.push_back({put(Json::array()), {}, 0}); }
    void key(std::string_view k) override {
        auto& top = stack_.back();
        if (top.container->contains(k)) {
            throw DecodeError("duplicate key at " + child(containerPath(stack_.size() - 1), k));
        }
        top.key.assign(k);
    }
    void endObject() override { close(); }
    void endArray() override { close(); }

    std::string path() const override {
        if (stack_.empty()) return "";
        return segment(containerPath(stack_.size() - 1), stack_.back());
    }

private:
    struct Frame {
        Json* container;
        std::string key;        // objects: the member being read
        std::size_t index = 0;  // arrays: the element being read
    };

    Json* put(Json&& v) {
        if (stack_.empty()) {
            result = std::move(v);
            return &result;
        }
        auto& top = stack_.back();
        Json* slot;
        if (top.container->is_object()) {
            slot = &(*top.container)[top.key];
            *slot = std::move(v);
        } else {
            top.container->push_back(std::move(v));
            slot = &top.container->back();
        }
        if (!slot->is_structured()) ++top.index;
        return slot;
    }

    void close() {
        stack_.pop_back();
        if (!stack_.empty()) ++stack_.back().index;
    }

    static std::string segment(const std::string& path, const Frame& f) {
        return f.container->is_object() ? child(path, f.key) : element(path, f.index);
    }
    std::string containerPath(std::size_t depth) const {
        std::string path;
        for (std::size_t i = 0; i < depth; ++i) path = segment(path, stack_[i]);
        return path;
    }

    std::vector<Frame> stack_;
};

}  // namespace

Json parse(std::string_view text, std::size_t maxDepth) {
    DomBuilder builder;
    read(text, builder, maxDepth);
    return std::move(builder.result);
}

Json parseFile(const std::filesystem::path& file, std::size_t maxDepth) {
    DomBuilder builder;
    readFile(file, builder, maxDepth);
    return std::move(builder.result);
}

void emit(const Json& value, JsonHandler& handler) {
    switch (value.type()) {
        case Json::value_t::object:
            handler.startObject();
            for (const auto& [key, member] : value.items()) {
                handler.key(key);
                emit(member, handler);
            }
            handler.endObject();
            break;
        case Json::value_t::array:
            handler.startArray();
            for (const auto& element : value) emit(element, handler);
            handler.endArray();
            break;
        case Json::value_t::string: handler.string(value.get_ref<const std::string&>()); break;
        case Json::value_t::boolean: handler.boolean(value.get<bool>()); break;
        case Json::value_t::number_integer: {
            Number n;
            n.kind = Number::Kind::signedInteger;
            n.signedValue = value.get<long long>();
            handler.number(n);
            break;
        }
        case Json::value_t::number_unsigned: {
            Number n;
            n.unsignedValue = value.get<unsigned long long>();
            handler.number(n);
            break;
        }
        case Json::value_t::number_float: {
            Number n;
            n.kind = Number::Kind::floating;
            n.floatValue = value.get<double>();
            handler.number(n);
            break;
        }
        default: handler.null(); break;  // null, and binary values JSON text cannot hold
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

long long integer(const Number& value, const std::string& path, long long min, long long max) {
    long long i = 0;
    bool fits = true;
    switch (value.kind) {
        case Number::Kind::signedInteger: i = value.signedValue; break;
        case Number::Kind::unsignedInteger:
            fits = value.unsignedValue <= static_cast<unsigned long long>(LLONG_MAX);
            i = fits ? static_cast<long long>(value.unsignedValue) : 0;
            break;
        case Number::Kind::floating: {
            const double d = value.floatValue;
            if (!std::isfinite(d) || std::floor(d) != d || std::fabs(d) >= 9.0e15) fail("integer", path);
            i = static_cast<long long>(d);
            break;
        }
    }
    if (!fits || i < min || i > max) {
        throw DecodeError("expected integer from " + std::to_string(min) + " to " + std::to_string(max) + " at " +
                          describe(path));
    }
    return i;
}

long long integer(const Json& value, const std::string& path, long long min, long long max) {
    Number n;
    if (value.is_number_unsigned()) {
        n.unsignedValue = value.get<unsigned long long>();
    } else if (value.is_number_integer()) {
        n.kind = Number::Kind::signedInteger;
        n.signedValue = value.get<long long>();
    } else if (value.is_number_float()) {
        n.kind = Number::Kind::floating;
        n.floatValue = value.get<double>();
    } else {
        fail("integer", path);
    }
    return integer(n, path, min, max);
}

int int32(const Json& value, const std::string& path) {
    return static_cast<int>(integer(value, path, INT_MIN, INT_MAX));
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

std::optional<long long> optionalInteger(const Json& obj, std::string_view key, const std::string& path,
                                         long long min, long long max) {
    if (auto* v = optional(obj, key)) return integer(*v, child(path, key), min, max);
    return std::nullopt;
}

std::optional<std::vector<std::string>> optionalStringList(const Json& obj, std::string_view key,
                                                           const std::string& path) {
    if (auto* v = optional(obj, key)) return stringList(*v, child(path, key));
    return std::nullopt;
}

}  // namespace velmar::jsondecode
