#pragma once
// A strict JSON reader that makes one pass over text or a file and hands each
// value to a handler as it is read (no document tree in between), with the
// nesting depth limited during the pass.
//
// It accepts exactly what nlohmann's parser accepts (RFC 8259 with UTF-8
// checked in strings, an optional byte order mark, a NUL byte read as the end
// of the input). Where the text is malformed, nlohmann reads it again to word
// the error, so the message is the library's own; that second read happens
// only on the error path. A number too large for a double is refused with the
// handler's path, as is a file over the input limit.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velmar::jsondecode {

// Larger inputs are refused rather than read without bound.
inline constexpr std::uint64_t kMaxInputBytes = 256ull << 20;  // 256 MiB

// The input itself could not be had: missing, a directory, unreadable, too large.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Number {
    enum class Kind { signedInteger, unsignedInteger, floating };
    Kind kind = Kind::unsignedInteger;
    long long signedValue = 0;      // negative integers
    unsigned long long unsignedValue = 0;  // non-negative integers
    double floatValue = 0;          // anything with a fraction or exponent, or an integer too large
};

// Receives the values in document order. Strings and keys are views valid
// only during the call. A handler stops the read by throwing.
class JsonHandler {
public:
    virtual ~JsonHandler() = default;
    virtual void null() = 0;
    virtual void boolean(bool value) = 0;
    virtual void number(const Number& value) = 0;
    virtual void string(std::string_view value) = 0;
    virtual void startObject() = 0;
    virtual void key(std::string_view key) = 0;
    virtual void endObject() = 0;
    virtual void startArray() = 0;
    virtual void endArray() = 0;
    // Where the value being read sits, e.g. "tree.children[3].role"; "" for
    // the document itself. Asked only when an error is reported.
    virtual std::string path() const = 0;
};

// Each throws DecodeError for malformed JSON ("invalid JSON: …"), nesting
// deeper than maxDepth, or a number out of range; the handler's own errors
// pass through.
// `window` hands the text to the reader that many bytes at a time, as a file
// is read (0: all at once), so tests can put chunk ends anywhere.
void read(std::string_view text, JsonHandler& handler, std::size_t maxDepth = 1000, std::size_t window = 0);
// Also throws InputError when the file cannot be read, is a directory, or
// holds more than kMaxInputBytes. The file is read in chunks, never whole.
void readFile(const std::filesystem::path& file, JsonHandler& handler, std::size_t maxDepth = 1000);

}  // namespace velmar::jsondecode
