#include "surfaces/WebAddress.hpp"

#include "text/Unicode.hpp"

#include <uriparser/Uri.h>

#include <charconv>

namespace velmar {

namespace {

std::optional<std::string> range(const UriTextRangeA& r) {
    if (!r.first || !r.afterLast) return std::nullopt;
    return std::string(r.first, r.afterLast);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

WebAddress WebAddress::parse(std::string_view text) {
    WebAddress out;
    if (text.empty()) return out;

    UriUriA uri;
    const char* errorPos = nullptr;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (uriParseSingleUriExA(&uri, begin, end, &errorPos) != URI_SUCCESS) return out;
    struct Release {
        UriUriA& uri;
        ~Release() { uriFreeUriMembersA(&uri); }
    } release{uri};

    out.scheme = range(uri.scheme);
    out.userInfo = range(uri.userInfo);
    if (auto host = range(uri.hostText); host && !host->empty()) {
        // uriparser leaves the brackets of an IP literal out of the host text;
        // keep them so the host reads as written and the address rebuilds.
        bool bracketed = uri.hostText.first > begin && uri.hostText.first[-1] == '[';
        out.host = bracketed ? "[" + *host + "]" : *host;
    }
    if (auto port = range(uri.portText); port && !port->empty()) out.port = port;
    out.query = range(uri.query);
    out.fragment = range(uri.fragment);

    // The path is everything between the authority (or the scheme, when there
    // is no authority) and the first "?" or "#". uriparser has validated the
    // syntax, so the generic split of the reference is unambiguous.
    std::size_t pos = uri.scheme.first ? static_cast<std::size_t>(uri.scheme.afterLast - begin) + 1 : 0;
    if (text.substr(pos, 2) == "//") {
        out.hasAuthority = true;
        pos = text.find_first_of("/?#", pos + 2);
        if (pos == std::string_view::npos) pos = text.size();
    }
    std::size_t pathEnd = text.find_first_of("?#", pos);
    if (pathEnd == std::string_view::npos) pathEnd = text.size();
    out.path = std::string(text.substr(pos, pathEnd - pos));
    return out;
}

bool WebAddress::schemeIs(std::string_view lowerName) const {
    if (!scheme || scheme->size() != lowerName.size()) return false;
    for (std::size_t i = 0; i < lowerName.size(); ++i) {
        char c = (*scheme)[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerName[i]) return false;
    }
    return true;
}

std::optional<int> WebAddress::portNumber() const {
    if (!port) return std::nullopt;
    int value = 0;
    auto [ptr, ec] = std::from_chars(port->data(), port->data() + port->size(), value);
    if (ec != std::errc() || ptr != port->data() + port->size() || value < 0 || value > 65535) return std::nullopt;
    return value;
}

std::vector<std::string> WebAddress::pathSegments() const {
    std::vector<std::string> out;
    if (!path) return out;
    std::size_t start = 0;
    while (start <= path->size()) {
        std::size_t slash = path->find('/', start);
        if (slash == std::string::npos) slash = path->size();
        if (slash > start) out.push_back(path->substr(start, slash - start));
        start = slash + 1;
    }
    return out;
}

std::string WebAddress::decodedPath() const {
    if (!path) return {};
    std::string out;
    out.reserve(path->size());
    for (std::size_t i = 0; i < path->size(); ++i) {
        char c = (*path)[i];
        if (c == '%' && i + 2 < path->size() && hexValue((*path)[i + 1]) >= 0 && hexValue((*path)[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue((*path)[i + 1]) * 16 + hexValue((*path)[i + 2])));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return text::repairUtf8(out);
}

std::string WebAddress::toString() const {
    if (!path) return {};
    std::string out;
    if (scheme) out += *scheme + ":";
    if (hasAuthority || host || userInfo || port) {
        out += "//";
        if (userInfo) out += *userInfo + "@";
        if (host) out += *host;
        if (port) out += ":" + *port;
        // An authority must be followed by an absolute path or nothing.
        if (!path->empty() && path->front() != '/') out += '/';
    }
    out += *path;
    if (query) out += "?" + *query;
    if (fragment) out += "#" + *fragment;
    return out;
}

}  // namespace velmar
