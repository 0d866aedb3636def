#pragma once
// Stand-ins for the ports the core bridge needs besides the loop and the
// launcher: an install layout that names its files explicitly, and a log that
// keeps its lines.

#include "capture/TurnEvent.hpp"
#include "platform/InstallLayout.hpp"
#include "platform/LogSink.hpp"

#include <filesystem>
#include <unistd.h>
#include <optional>
#include <string>
#include <vector>

namespace velmar::testing {

struct FixedInstallLayout final : InstallLayout {
    std::optional<std::filesystem::path> coreScript;
    std::optional<std::filesystem::path> node;

    std::optional<std::filesystem::path> resource(std::string_view name, std::string_view ext) const override {
        if (name == "core" && ext == "mjs") return coreScript;
        return std::nullopt;
    }
    std::optional<std::filesystem::path> resourceDirectory(std::string_view) const override { return std::nullopt; }
    std::optional<std::filesystem::path> auxiliaryExecutable(std::string_view name) const override {
        return name == "node" ? node : std::nullopt;
    }
    std::optional<std::string> shortVersion() const override { return std::nullopt; }
    std::optional<std::string> bundleIdentifier() const override { return std::nullopt; }
    std::filesystem::path executablePath() const override { return "/nonexistent/velmar-desktop-agent"; }
    std::filesystem::path installLocation() const override { return "/nonexistent"; }
};

struct RecordingLog final : LogSink {
    std::vector<std::string> lines;
    void writeLine(std::string_view line) override { lines.emplace_back(line); }
    std::size_t count(std::string_view line) const {
        std::size_t n = 0;
        for (const auto& l : lines) n += l == line;
        return n;
    }
};

// A turn whose index tells it apart; `size` pads the prompt.
inline TurnEvent numberedTurn(int index, std::size_t size = 0, std::string surface = "claude") {
    TurnEvent e;
    e.surface = std::move(surface);
    e.prompt = "prompt " + std::to_string(index) + std::string(size, 'x');
    e.response = "reply " + std::to_string(index);
    e.turnIndex = index;
    e.turnTotal = index;
    e.captureTier = 2;
    e.verdict = "ok";
    return e;
}

// A fresh, empty folder under the system's temporary folder.
inline std::filesystem::path freshTempDir(const std::string& name) {
    auto dir = std::filesystem::temp_directory_path() / ("velmar-test-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace velmar::testing
