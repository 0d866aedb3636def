#pragma once
// The installed applications' desktop entries (<data dir>/applications/*.desktop),
// read once: what an application is called and which program it starts, so a
// running process can be named by its desktop entry id.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::linux_backend {

struct DesktopEntry {
    std::string id;  // "org.gnome.Calculator" for org.gnome.Calculator.desktop, "kde-foo" for kde/foo.desktop
    std::string name;
    std::map<std::string, std::string, std::less<>> localizedNames;  // "de" or "pt_BR" to Name[...]
    std::string program;  // the Exec key's program, as written ("chromium", "/opt/x/bin/x")

    // Name for a locale such as "de_DE.UTF-8" (lang_COUNTRY@MODIFIER matching).
    std::string nameFor(std::string_view locale) const;
};

class DesktopEntries {
public:
    // Reads every application entry under the data directories; where two carry
    // the same id the earlier directory wins. Hidden entries and non-applications
    // are left out.
    static DesktopEntries scan(const std::vector<std::filesystem::path>& dataDirectories, std::string_view searchPath);

    // One entry's text; absent when it is not a visible application.
    static std::optional<DesktopEntry> parse(std::string_view text, std::string id);
    // The keys and values of an entry's "[Desktop Entry]" group, in order, trimmed.
    static std::vector<std::pair<std::string, std::string>> mainGroup(std::string_view text);

    const DesktopEntry* byId(std::string_view id) const;
    // The entry whose program is this executable: the program resolved through
    // PATH to the same file, else the same file name.
    const DesktopEntry* byExecutable(const std::filesystem::path& executable) const;
    // Where the entry's program lives, resolved through PATH; absent when not found.
    std::optional<std::filesystem::path> programLocation(const DesktopEntry& entry) const;

    // A program name looked up the way a shell would, through PATH.
    static std::optional<std::filesystem::path> findInPath(std::string_view program, std::string_view searchPath);

private:
    std::vector<DesktopEntry> entries_;
    std::map<std::string, std::size_t, std::less<>> byId_;
    std::map<std::filesystem::path, std::size_t> byResolvedProgram_;
    std::map<std::string, std::size_t, std::less<>> byProgramName_;
    std::string searchPath_;
};

}  // namespace velmar::linux_backend
