#pragma once
// The XDG base directories, from the environment the agent was given.

#include <filesystem>
#include <vector>

namespace velmar {
class ProcessEnvironment;
}

namespace velmar::linux_backend::XdgDirectories {

// $XDG_CONFIG_HOME, or ~/.config when it is unset, empty or relative.
std::filesystem::path configHome(const ProcessEnvironment& environment);
// $XDG_DATA_HOME (or ~/.local/share) first, then $XDG_DATA_DIRS (or
// /usr/local/share:/usr/share), relative entries dropped.
std::vector<std::filesystem::path> dataDirectories(const ProcessEnvironment& environment);
// $HOME, or the user database's home folder when HOME is unset.
std::filesystem::path home(const ProcessEnvironment& environment);

}  // namespace velmar::linux_backend::XdgDirectories
