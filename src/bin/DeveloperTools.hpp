#pragma once
// Runs a developer verb ("ax-check", "ax-record", "capture-check") on this
// desktop: AT-SPI for the trees, /proc for the running applications, XTest
// for synthetic input. Returns the process's exit status.

#include <string>
#include <vector>

namespace velmar {

int runDeveloperTool(const std::vector<std::string>& arguments);

}  // namespace velmar
