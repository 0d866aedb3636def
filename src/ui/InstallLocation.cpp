#include "ui/InstallLocation.hpp"

#include "text/Unicode.hpp"

#include <charconv>

namespace velmar::InstallLocation {

bool isCheckDisabled(const std::optional<std::string>& skipVariable) { return skipVariable == "1"; }

namespace {
bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }
}  // namespace

Placement current(const Bundle& bundle, const std::filesystem::path& home) {
    if (!bundle.appId) return Placement::notBundled;
    const std::string path = bundle.path.string();
    bool offRoot = !bundle.volume.volume || bundle.volume.volume->string() != "/";
    if (path.find("/AppTranslocation/") != std::string::npos) return Placement::translocated;
    if (offRoot && (bundle.volume.readOnly || bundle.volume.removable)) return Placement::mountedVolume;
    if (startsWith(path, "/Applications/")) return Placement::applications;
    if (!home.empty() && startsWith(path, home.string() + "/Applications/")) return Placement::applications;
    return Placement::elsewhere;
}

std::optional<std::filesystem::path> applicationsDestination(const Bundle& bundle) {
    if (!bundle.appId) return std::nullopt;
    auto name = bundle.path.filename();
    if (name.empty()) name = bundle.path.parent_path().filename();  // "/x/App.app/"
    if (name.empty()) return std::nullopt;
    return std::filesystem::path("/Applications") / name;
}

std::optional<std::filesystem::path> ejectableSourceVolume(const Bundle& bundle) {
    if (!bundle.appId || !bundle.volume.volume) return std::nullopt;
    if (bundle.volume.volume->string() == "/" || !bundle.volume.readOnly) return std::nullopt;
    return bundle.volume.volume;
}

std::optional<std::vector<long long>> versionSegments(std::string_view version) {
    std::string trimmed = text::trim(version);
    if (trimmed.empty()) return std::nullopt;
    std::vector<long long> out;
    std::string_view rest = trimmed;
    while (true) {
        auto dot = rest.find('.');
        std::string_view piece = rest.substr(0, dot);
        long long value = 0;
        if (piece.empty()) return std::nullopt;
        for (char c : piece)
            if (c < '0' || c > '9') return std::nullopt;
        auto [end, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (ec != std::errc() || end != piece.data() + piece.size()) return std::nullopt;
        out.push_back(value);
        if (dot == std::string_view::npos) break;
        rest = rest.substr(dot + 1);
    }
    return out;
}

bool isNewer(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    if (!a || !b) return false;
    auto x = versionSegments(*a);
    auto y = versionSegments(*b);
    if (!x || !y) return false;
    std::size_t n = std::max(x->size(), y->size());
    x->resize(n, 0);
    y->resize(n, 0);
    for (std::size_t i = 0; i < n; ++i)
        if ((*x)[i] != (*y)[i]) return (*x)[i] > (*y)[i];
    return false;
}

Offer offer(const PromptInputs& in) {
    if (in.placement != Placement::mountedVolume && in.placement != Placement::translocated) return Offer::none;
    bool handOff = in.otherInstanceRunning
                       ? in.destinationExists
                       : in.destinationExists && !isNewer(in.runningVersion, in.installedVersion);
    return handOff ? Offer::handOff : Offer::relocate;
}

std::string shellQuote(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    out += "'";
    return out;
}

std::string relaunchScript(long pid, const std::filesystem::path& application,
                           const std::optional<std::filesystem::path>& ejectVolume) {
    std::string script = "while kill -0 " + std::to_string(pid) + " 2>/dev/null; do sleep 0.2; done\n";
    script += "open -a " + shellQuote(application.string()) + "\n";
    if (ejectVolume) {
        std::string volume = shellQuote(ejectVolume->string());
        script += "detached=0\n";
        script += "for _ in 1 2 3 4 5 6; do\n";
        script += "if hdiutil detach " + volume + " >/dev/null 2>&1; then detached=1; break; fi\n";
        script += "sleep 1\n";
        script += "done\n";
        script += "[ \"$detached\" = 1 ] || hdiutil detach -force " + volume + " >/dev/null 2>&1\n";
    }
    return script;
}

}  // namespace velmar::InstallLocation
