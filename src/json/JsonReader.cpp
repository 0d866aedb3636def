#include "json/JsonReader.hpp"

#include "json/JsonDecoding.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmar::jsondecode {

namespace {

// Thrown inside the reader at the first byte that breaks the grammar; the
// message is worded afterwards by nlohmann over the same input.
struct Malformed {};

// The bytes to read: a window [p, end) that refill() moves forward.
class Source {
public:
    virtual ~Source() = default;
    const char* p = nullptr;
    const char* end = nullptr;
    // Makes more bytes available; false at the end of the input.
    virtual bool refill() = 0;
};

class TextSource final : public Source {
public:
    TextSource(std::string_view text, std::size_t window) : text_(text), window_(window ? window : text.size()) {
        p = end = text.data();
        refill();
    }
    bool refill() override {
        const std::size_t offset = static_cast<std::size_t>(end - text_.data());
        const std::size_t n = std::min(window_, text_.size() - offset);
        p = end;
        end = p + n;
        return n > 0;
    }

private:
    std::string_view text_;
    std::size_t window_;
};

class FileSource final : public Source {
public:
    explicit FileSource(const std::filesystem::path& file) {
        fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) throw InputError(std::strerror(errno));
        struct stat st {};
        if (::fstat(fd_, &st) == 0) {
            if (S_ISDIR(st.st_mode)) fail("is a directory");
            if (S_ISREG(st.st_mode)) {
                if (static_cast<std::uint64_t>(st.st_size) > kMaxInputBytes) tooLarge();
                // A quarter of the file, within bounds: little beside a small
                // file's nodes, few system calls for any file.
                chunk_ = std::clamp<std::size_t>(static_cast<std::size_t>(st.st_size) / 4 + 1, 4096, 64 * 1024);
            }
        }
        buffer_ = std::make_unique_for_overwrite<char[]>(chunk_);
        p = end = buffer_.get();
    }
    ~FileSource() override { ::close(fd_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    bool refill() override {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer_.get(), chunk_);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) fail(std::strerror(errno));
            total_ += static_cast<std::uint64_t>(n);
            // Devices and pipes have no size to check up front.
            if (total_ > kMaxInputBytes) tooLarge();
            p = buffer_.get();
            end = p + n;
            return n > 0;
        }
    }

private:
    [[noreturn]] void fail(const std::string& why) {
        ::close(fd_);
        fd_ = -1;
        throw InputError(why);
    }
    [[noreturn]] void tooLarge() { fail("larger than the 256 MiB input limit"); }

    int fd_ = -1;
    std::uint64_t total_ = 0;
    std::size_t chunk_ = 16 * 1024;  // devices and pipes
    std::unique_ptr<char[]> buffer_;
};

// Recorded files are indented and mostly plain ASCII text, so the reader
// skips runs of blanks and of plain string bytes sixteen at a time where it can.
#if defined(__SSE2__)
const char* skipBlanks(const char* p, const char* end) {
    const __m128i space = _mm_set1_epi8(' '), newline = _mm_set1_epi8('\n'), tab = _mm_set1_epi8('\t'),
                  cr = _mm_set1_epi8('\r');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i blank = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, newline)),
                                           _mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, cr)));
        const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(blank)) & 0xFFFFu;
        if (other) return p + __builtin_ctz(other);
        p += 16;
    }
    return p;
}

// Up to the first quote, backslash, control byte or non-ASCII byte.
const char* skipPlain(const char* p, const char* end) {
    const __m128i quote = _mm_set1_epi8('"'), backslash = _mm_set1_epi8('\\'), control = _mm_set1_epi8(0x20);
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // Signed: bytes from 0x80 up are negative, so they count as below 0x20.
        const __m128i special = _mm_or_si128(_mm_cmplt_epi8(v, control),
                                             _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special));
        if (mask) return p + __builtin_ctz(mask);
        p += 16;
    }
    return p;
}
#else
const char* skipBlanks(const char* p, const char*) { return p; }
const char* skipPlain(const char* p, const char*) { return p; }
#endif

// Byte classes inside a string: 0 plain ASCII, anything else needs a look.
constexpr std::array<unsigned char, 256> kStringBytes = [] {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 0x20; ++c) t[c] = 1;
    t['"'] = 1;
    t['\\'] = 1;
    for (int c = 0x80; c < 0x100; ++c) t[c] = 1;
    return t;
}();

class Reader {
public:
    Reader(Source& source, JsonHandler& handler, std::size_t maxDepth)
        : in_(source), handler_(handler), maxDepth_(maxDepth) {}

    void document() {
        skipByteOrderMark();
        value(token());
        // A NUL byte ends the input as far as nlohmann is concerned.
        const int next = token();
        if (next != -1 && next != 0) throw Malformed{};
    }

private:
    int peek() {
        if (in_.p == in_.end && !in_.refill()) return -1;
        return static_cast<unsigned char>(*in_.p);
    }
    int get() {
        const int c = peek();
        if (c != -1) ++in_.p;
        return c;
    }
    // The next byte after whitespace, consumed.
    int token() {
        for (;;) {
            while (in_.p != in_.end) {
                const auto c = static_cast<unsigned char>(*in_.p++);
                if (c > ' ') return c;
                if (c != ' ' && c != '\n' && c != '\r' && c != '\t') return c;
                // A line break is usually followed by indentation.
                if (c == '\n') in_.p = skipBlanks(in_.p, in_.end);
            }
            if (!in_.refill()) return -1;
        }
    }

    void expect(int got, char wanted) {
        if (got != wanted) throw Malformed{};
    }

    void skipByteOrderMark() {
        if (peek() != 0xEF) return;
        get();
        if (get() != 0xBB || get() != 0xBF) throw Malformed{};
    }

    void open() {
        if (++depth_ > maxDepth_) {
            throw DecodeError("document nests deeper than " + std::to_string(maxDepth_) + " levels");
        }
    }

    void close(bool object) {
        object ? handler_.endObject() : handler_.endArray();
        --depth_;
    }

    // Iterative over containers, so hostile nesting cannot exhaust the stack.
    void value(int c) {
        std::string& objects = objects_;  // innermost container last: 1 for an object, 0 for an array
        for (;;) {
            switch (c) {
                case '{':
                case '[': {
                    const bool object = c == '{';
                    open();
                    object ? handler_.startObject() : handler_.startArray();
                    c = token();
                    if (c == (object ? '}' : ']')) {
                        close(object);
                        break;
                    }
                    objects.push_back(object);
                    if (object) {
                        member(c);
                        c = token();
                    }
                    continue;
                }
                case '"':
                    handler_.string(string());
                    break;
                case 't': literal("rue"), handler_.boolean(true); break;
                case 'f': literal("alse"), handler_.boolean(false); break;
                case 'n': literal("ull"), handler_.null(); break;
                case '-': case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8':
                case '9':
                    number(c);
                    break;
                default: throw Malformed{};
            }
            // After a value: a separator or the end of its containers.
            for (;;) {
                if (objects.empty()) return;
                c = token();
                if (c == ',') {
                    if (objects.back()) member(token());
                    c = token();
                    break;
                }
                const bool object = objects.back();
                if (c != (object ? '}' : ']')) throw Malformed{};
                objects.pop_back();
                close(object);
            }
        }
    }

    // A key and its colon; the value follows.
    void member(int c) {
        expect(c, '"');
        handler_.key(string());
        expect(token(), ':');
    }

    void literal(const char* rest) {
        for (; *rest; ++rest) {
            if (get() != static_cast<unsigned char>(*rest)) throw Malformed{};
        }
    }

    int hex4() {
        int code = 0;
        for (int i = 0; i < 4; ++i) {
            const int c = get();
            int digit;
            if (c >= '0' && c <= '9') digit = c - '0';
            else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
            else throw Malformed{};
            code = code * 16 + digit;
        }
        return code;
    }

    void appendUtf8(unsigned code) {
        static constexpr unsigned kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
        const int tail = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
        text_.push_back(static_cast<char>(kLead[tail] | (code >> (6 * tail))));
        for (int i = tail - 1; i >= 0; --i) text_.push_back(static_cast<char>(0x80 | ((code >> (6 * i)) & 0x3F)));
    }

    void escape() {
        const int c = get();
        switch (c) {
            case '"': text_.push_back('"'); break;
            case '\\': text_.push_back('\\'); break;
            case '/': text_.push_back('/'); break;
            case 'b': text_.push_back('\b'); break;
            case 'f': text_.push_back('\f'); break;
            case 'n': text_.push_back('\n'); break;
            case 'r': text_.push_back('\r'); break;
            case 't': text_.push_back('\t'); break;
            case 'u': {
                unsigned code = static_cast<unsigned>(hex4());
                if (code >= 0xD800 && code <= 0xDBFF) {
                    if (get() != '\\' || get() != 'u') throw Malformed{};
                    const unsigned low = static_cast<unsigned>(hex4());
                    if (low < 0xDC00 || low > 0xDFFF) throw Malformed{};
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xDC00 && code <= 0xDFFF) {
                    throw Malformed{};
                }
                appendUtf8(code);
                break;
            }
            default: throw Malformed{};
        }
    }

    // One well-formed UTF-8 sequence starting with `lead`, copied.
    void multibyte(int lead) {
        int lo = 0x80, hi = 0xBF, count;
        if (lead >= 0xC2 && lead <= 0xDF) count = 1;
        else if (lead == 0xE0) count = 2, lo = 0xA0;
        else if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF) count = 2;
        else if (lead == 0xED) count = 2, hi = 0x9F;
        else if (lead == 0xF0) count = 3, lo = 0x90;
        else if (lead >= 0xF1 && lead <= 0xF3) count = 3;
        else if (lead == 0xF4) count = 3, hi = 0x8F;
        else throw Malformed{};
        text_.push_back(static_cast<char>(lead));
        for (int i = 0; i < count; ++i) {
            const int c = get();
            if (c < lo || c > hi) throw Malformed{};
            text_.push_back(static_cast<char>(c));
            lo = 0x80, hi = 0xBF;
        }
    }

    // The string after its opening quote, unescaped. Most strings hold no
    // escape and end inside the window: those are handed out where they lie.
    std::string_view string() {
        const char* start = in_.p;
        const char* p = skipPlain(start, in_.end);
        while (p != in_.end && !kStringBytes[static_cast<unsigned char>(*p)]) ++p;
        if (p != in_.end && *p == '"') {
            in_.p = p + 1;
            return {start, static_cast<std::size_t>(p - start)};
        }
        text_.assign(start, p);
        in_.p = p;
        for (;;) {
            const int c = get();
            if (c == '"') return text_;
            if (c == '\\') escape();
            else if (c >= 0x80) multibyte(c);
            else if (c >= 0x20) text_.push_back(static_cast<char>(c));  // the window ended inside a plain run
            else throw Malformed{};  // a control character, or the input ended
            start = in_.p;
            p = skipPlain(start, in_.end);
            while (p != in_.end && !kStringBytes[static_cast<unsigned char>(*p)]) ++p;
            text_.append(start, p);
            in_.p = p;
        }
    }

    void digits(bool atLeastOne) {
        bool any = false;
        for (int c = peek(); c >= '0' && c <= '9'; c = peek()) {
            text_.push_back(static_cast<char>(get()));
            any = true;
        }
        if (atLeastOne && !any) throw Malformed{};
    }

    void number(int first) {
        text_.assign(1, static_cast<char>(first));
        bool integral = true;
        int c = first;
        if (first == '-') {
            c = get();
            if (c < '0' || c > '9') throw Malformed{};
            text_.push_back(static_cast<char>(c));
        }
        if (c != '0') digits(false);
        if (peek() == '.') {
            integral = false;
            text_.push_back(static_cast<char>(get()));
            digits(true);
        }
        if (peek() == 'e' || peek() == 'E') {
            integral = false;
            text_.push_back(static_cast<char>(get()));
            if (peek() == '+' || peek() == '-') text_.push_back(static_cast<char>(get()));
            digits(true);
        }

        Number n;
        const char* b = text_.data();
        const char* e = b + text_.size();
        if (integral) {
            if (first == '-') {
                n.kind = Number::Kind::signedInteger;
                if (auto r = std::from_chars(b, e, n.signedValue); r.ec == std::errc{} && r.ptr == e) {
                    handler_.number(n);
                    return;
                }
            } else {
                n.kind = Number::Kind::unsignedInteger;
                if (auto r = std::from_chars(b, e, n.unsignedValue); r.ec == std::errc{} && r.ptr == e) {
                    handler_.number(n);
                    return;
                }
            }
        }
        // Integers too large for 64 bits are read as doubles, as the library does.
        n.kind = Number::Kind::floating;
        if (const char point = *std::localeconv()->decimal_point; point != '.') {
            for (char& ch : text_) if (ch == '.') ch = point;
        }
        n.floatValue = std::strtod(text_.c_str(), nullptr);
        if (!std::isfinite(n.floatValue)) throw DecodeError("number out of range at " + describe(handler_.path()));
        handler_.number(n);
    }

    Source& in_;
    JsonHandler& handler_;
    std::size_t maxDepth_;
    std::size_t depth_ = 0;
    std::string objects_;
    std::string text_;
};

// nlohmann's words for the first error in the input, read again.
class ErrorWording {
public:
    std::string message;
    bool null() { return true; }
    bool boolean(bool) { return true; }
    bool number_integer(nlohmann::json::number_integer_t) { return true; }
    bool number_unsigned(nlohmann::json::number_unsigned_t) { return true; }
    bool number_float(nlohmann::json::number_float_t, const std::string&) { return true; }
    bool string(std::string&) { return true; }
    bool binary(nlohmann::json::binary_t&) { return true; }
    bool start_object(std::size_t) { return true; }
    bool key(std::string&) { return true; }
    bool end_object() { return true; }
    bool start_array(std::size_t) { return true; }
    bool end_array() { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) {
        message = e.what();
        // Drop the library's "[json.exception.parse_error.101] " prefix.
        if (auto p = message.find("] "); p != std::string::npos) message = message.substr(p + 2);
        return false;
    }
};

// One document from `source`; at the first malformed byte, `reread` has
// nlohmann word the error over the same input.
template <typename Reread>
void readFrom(Source& source, JsonHandler& handler, std::size_t maxDepth, const Reread& reread) {
    try {
        Reader(source, handler, maxDepth).document();
    } catch (const Malformed&) {
        ErrorWording wording;
        reread(wording);
        const auto& words = wording.message;
        throw DecodeError("invalid JSON: " + (words.empty() ? std::string("malformed document") : words));
    }
}

}  // namespace

void read(std::string_view text, JsonHandler& handler, std::size_t maxDepth, std::size_t window) {
    TextSource source(text, window);
    readFrom(source, handler, maxDepth,
             [&](ErrorWording& wording) { nlohmann::json::sax_parse(text.begin(), text.end(), &wording); });
}

void readFile(const std::filesystem::path& file, JsonHandler& handler, std::size_t maxDepth) {
    FileSource source(file);
    readFrom(source, handler, maxDepth, [&](ErrorWording& wording) {
        std::ifstream again(file, std::ios::binary);
        nlohmann::json::sax_parse(again, &wording);
    });
}

}  // namespace velmar::jsondecode
