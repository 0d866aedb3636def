#pragma once
// What a short-lived program prints, for the few questions only another
// program answers (the package manager, a program's "--version"). It blocks
// the caller until the program ends, so never on the main loop's hot path;
// long-running children with pipes go through LinuxProcessLauncher.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace velmar::linux_backend {

class ProgramOutput {
public:
    static constexpr std::chrono::seconds timeout{3};
    static constexpr std::size_t maxBytes = 64 * 1024;

    // Runs the program (found through PATH, untranslated: LC_ALL=C) with no
    // input and no error output and returns what it wrote, when it exits with
    // status 0 within the timeout and the output limit. One that overstays is
    // killed.
    static std::optional<std::string> of(const std::vector<std::string>& argv);
};

}  // namespace velmar::linux_backend
