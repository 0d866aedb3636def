#pragma once
// Shared command-line handling of the developer tools.

#include <CLI/CLI.hpp>

#include <iosfwd>
#include <optional>
#include <string_view>

namespace velmar {

// Parses the arguments. Returns the exit status when the tool should stop:
// 0 after printing help, 2 after printing the error and the usage line.
std::optional<int> parseCommandLine(CLI::App& app, int argc, const char* const* argv, std::ostream& out,
                                    std::ostream& err, std::string_view usage);

}  // namespace velmar
