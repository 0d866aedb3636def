// Entry point. Until the agent captures end to end, its default job is the
// offline check of the bundled recorded conversations, printing their turns.
#include "tools/FixtureCheck.hpp"

#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) paths.emplace_back(argv[i]);
    if (paths.empty()) paths.emplace_back(VELMAR_FIXTURE_DIR);
    return velmar::FixtureCheck::run(paths, std::nullopt, velmar::FixtureCheck::Output::Turns, std::cout, std::cerr);
}
