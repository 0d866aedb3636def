#pragma once
// Turns and folders for the core bridge's tests.

#include "capture/TurnEvent.hpp"

#include <filesystem>
#include <unistd.h>
#include <string>

namespace velmar::testing {

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
