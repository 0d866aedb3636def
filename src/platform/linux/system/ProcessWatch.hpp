#pragma once
// Which programs started and ended between two looks at the process table.
// The caller lists the process ids present and reads a process only when it
// is new (or was new at the previous look, to see it after a launcher script
// replaced itself with the program it starts); everything else is a set
// difference. A process started by one of the same program (a browser's
// renderers) is that program's helper, never a program of its own.

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace velmar::linux_backend {

class ProcessWatch {
public:
    struct Process {
        int pid = 0;
        int parent = 0;
        std::filesystem::path executable;
        bool operator==(const Process&) const = default;
    };
    struct Changes {
        std::vector<Process> launched;
        std::vector<Process> terminated;
    };
    // Reads one process; absent for processes that are not the user's
    // programs (another user's, a kernel thread, one gone meanwhile).
    using Inspect = std::function<std::optional<Process>(int pid)>;

    // The first look is the baseline and reports nothing.
    Changes update(const std::vector<int>& pids, const Inspect& inspect);

    bool hasBaseline() const { return baseline_; }
    // The programs (not their helpers) known now, by process id.
    std::vector<Process> programs() const;

private:
    struct Known {
        Process process;
        bool program = false;  // not a helper of the same program
        bool young = true;     // first seen at the latest look
    };
    bool helperOf(const Process& p) const;

    bool baseline_ = false;
    std::map<int, Known> known_;
    std::set<int> ignored_;
};

}  // namespace velmar::linux_backend
