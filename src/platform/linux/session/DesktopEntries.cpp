#include "platform/linux/session/DesktopEntries.hpp"

#include "platform/linux/system/Files.hpp"

#include <sstream>

#include <unistd.h>

namespace velmar::linux_backend {
namespace {

std::string trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return std::string(s.substr(first, last - first + 1));
}

// The Exec key's words, with the format's quoting undone (string escapes first,
// then double quotes with backslash escapes inside).
std::vector<std::string> execWords(std::string_view exec) {
    std::string value;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] == '\\' && i + 1 < exec.size()) {
            char next = exec[++i];
            value += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next;
        } else {
            value += exec[i];
        }
    }
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '%' && i + 1 < value.size() && value[i + 1] == '%') {  // a literal percent sign
            word += '%';
            inWord = true;
            ++i;
        } else if (quoted) {
            if (c == '\\' && i + 1 < value.size()) word += value[++i];
            else if (c == '"') quoted = false;
            else word += c;
        } else if (c == '"') {
            quoted = inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

// The program an Exec line starts, looking past "env VAR=value ...".
std::string execProgram(std::string_view exec) {
    std::vector<std::string> words = execWords(exec);
    std::size_t i = 0;
    if (i < words.size() && (words[i] == "env" || words[i] == "/usr/bin/env")) {
        ++i;
        while (i < words.size() && (words[i].find('=') != std::string::npos || words[i].starts_with("-"))) ++i;
    }
    return i < words.size() ? words[i] : std::string();
}

std::filesystem::path resolved(const std::filesystem::path& p) {
    std::error_code ec;
    auto canonical = std::filesystem::canonical(p, ec);
    return ec ? p : canonical;
}

}  // namespace

std::string DesktopEntry::nameFor(std::string_view locale) const {
    std::string text(locale);
    std::string modifier;
    if (auto at = text.find('@'); at != std::string::npos) {
        modifier = text.substr(at);
        text.erase(at);
    }
    if (auto dot = text.find('.'); dot != std::string::npos) text.erase(dot);
    std::string lang = text.substr(0, text.find('_'));
    std::vector<std::string> candidates;
    if (!modifier.empty()) candidates.push_back(text + modifier);
    candidates.push_back(text);
    if (!modifier.empty()) candidates.push_back(lang + modifier);
    candidates.push_back(lang);
    for (const auto& candidate : candidates) {
        if (auto it = localizedNames.find(candidate); it != localizedNames.end() && !it->second.empty()) return it->second;
    }
    return name;
}

std::vector<std::pair<std::string, std::string>> DesktopEntries::mainGroup(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> pairs;
    bool inMainGroup = false;
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        std::string t = trimmed(line);
        if (t.empty() || t.front() == '#') continue;
        if (t.front() == '[') {
            inMainGroup = t == "[Desktop Entry]";
            continue;
        }
        const auto eq = t.find('=');
        if (!inMainGroup || eq == std::string::npos) continue;
        pairs.emplace_back(trimmed(std::string_view(t).substr(0, eq)), trimmed(std::string_view(t).substr(eq + 1)));
    }
    return pairs;
}

std::optional<DesktopEntry> DesktopEntries::parse(std::string_view text, std::string id) {
    DesktopEntry entry;
    entry.id = std::move(id);
    std::string type, exec;
    bool hidden = false;
    for (auto& [key, value] : mainGroup(text)) {
        if (key == "Type") type = value;
        else if (key == "Name") entry.name = value;
        else if (key.starts_with("Name[") && key.ends_with("]")) entry.localizedNames[key.substr(5, key.size() - 6)] = value;
        else if (key == "Exec") exec = value;
        else if (key == "Hidden") hidden = value == "true";
    }
    if (type != "Application" || hidden || entry.name.empty()) return std::nullopt;
    entry.program = execProgram(exec);
    return entry;
}

std::optional<std::filesystem::path> DesktopEntries::findInPath(std::string_view program, std::string_view searchPath) {
    if (program.empty()) return std::nullopt;
    auto executable = [](const std::filesystem::path& p) {
        std::error_code ec;
        return std::filesystem::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0;
    };
    if (program.find('/') != std::string_view::npos) {
        std::filesystem::path p(program);
        if (p.is_absolute() && executable(p)) return p;
        return std::nullopt;
    }
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        std::size_t end = searchPath.find(':', start);
        if (end == std::string_view::npos) end = searchPath.size();
        std::string_view dir = searchPath.substr(start, end - start);
        if (!dir.empty() && dir.front() == '/') {
            std::filesystem::path candidate = std::filesystem::path(dir) / program;
            if (executable(candidate)) return candidate;
        }
        start = end + 1;
    }
    return std::nullopt;
}

DesktopEntries DesktopEntries::scan(const std::vector<std::filesystem::path>& dataDirectories,
                                    std::string_view searchPath) {
    DesktopEntries index;
    index.searchPath_ = std::string(searchPath);
    for (const auto& dataDir : dataDirectories) {
        const std::filesystem::path root = dataDir / "applications";
        std::error_code ec;
        std::filesystem::recursive_directory_iterator it(root, std::filesystem::directory_options::skip_permission_denied, ec);
        if (ec) continue;
        for (auto end = std::filesystem::recursive_directory_iterator(); it != end; it.increment(ec)) {
            if (ec) break;
            const auto& file = it->path();
            if (file.extension() != ".desktop" || !it->is_regular_file(ec)) continue;
            // The id is the path below applications/ with "/" turned into "-".
            std::string id = file.lexically_relative(root).replace_extension().string();
            for (char& c : id) if (c == '/') c = '-';
            if (index.byId_.contains(id)) continue;
            FileRead read = readWholeFile(file, 1u << 20);
            if (read.outcome != FileRead::Outcome::read) continue;
            auto entry = parse(read.contents, id);
            if (!entry) continue;
            const std::size_t at = index.entries_.size();
            index.byId_.emplace(id, at);
            if (!entry->program.empty()) {
                if (auto location = findInPath(entry->program, searchPath)) index.byResolvedProgram_.emplace(resolved(*location), at);
                index.byProgramName_.emplace(std::filesystem::path(entry->program).filename().string(), at);
            }
            index.entries_.push_back(std::move(*entry));
        }
    }
    return index;
}

const DesktopEntry* DesktopEntries::byId(std::string_view id) const {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : &entries_[it->second];
}

const DesktopEntry* DesktopEntries::byExecutable(const std::filesystem::path& executable) const {
    if (auto it = byResolvedProgram_.find(resolved(executable)); it != byResolvedProgram_.end()) return &entries_[it->second];
    if (auto it = byProgramName_.find(executable.filename().string()); it != byProgramName_.end()) return &entries_[it->second];
    return nullptr;
}

std::optional<std::filesystem::path> DesktopEntries::programLocation(const DesktopEntry& entry) const {
    return findInPath(entry.program, searchPath_);
}

}  // namespace velmar::linux_backend
