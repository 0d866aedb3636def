#include "parsing/AttachmentMarkers.hpp"

#include "text/Regex.hpp"
#include "text/Unicode.hpp"

namespace velmar::AttachmentMarkers {

bool isPastedGeneratedName(std::string_view name) {
    static const text::Regex generated(R"(^\d{10,}_image\.[A-Za-z0-9]+$)");
    return name.starts_with("pasted-") || generated.search(name);
}

std::string marker(const std::optional<std::string>& filename) {
    auto name = filename ? text::trim(*filename) : std::string();
    if (name.empty()) return "[attached image]";
    if (isPastedGeneratedName(name)) return "[pasted image]";
    return "[attached image: " + text::graphemePrefix(name, 128) + "]";
}

std::string appending(const std::string& text, const std::vector<std::string>& markers) {
    if (markers.empty()) return text;
    std::string joined;
    for (std::size_t i = 0; i < markers.size(); ++i) {
        if (i) joined += '\n';
        joined += markers[i];
    }
    return text.empty() ? joined : text + "\n" + joined;
}

std::string stripping(std::string_view text) {
    std::string out;
    bool first = true;
    std::size_t start = 0;
    while (true) {
        auto end = text.find('\n', start);
        auto line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        auto t = text::trim(line);
        bool isMarker = t == "[pasted image]" || t == "[attached image]" ||
                        (t.starts_with("[attached image: ") && t.ends_with("]"));
        if (!isMarker) {
            if (!first) out += '\n';
            out += line;
            first = false;
        }
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return out;
}

}  // namespace velmar::AttachmentMarkers
