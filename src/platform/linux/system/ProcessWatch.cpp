#include "platform/linux/system/ProcessWatch.hpp"

#include <algorithm>

namespace velmar::linux_backend {

bool ProcessWatch::helperOf(const Process& p) const {
    auto parent = known_.find(p.parent);
    return parent != known_.end() && parent->first != p.pid && parent->second.process.executable == p.executable;
}

ProcessWatch::Changes ProcessWatch::update(const std::vector<int>& pidList, const Inspect& inspect) {
    Changes changes;
    const std::set<int> pids(pidList.begin(), pidList.end());

    // Ended: known or ignored processes that are no longer listed.
    for (auto it = known_.begin(); it != known_.end();) {
        if (pids.count(it->first)) {
            ++it;
            continue;
        }
        if (it->second.program && baseline_) changes.terminated.push_back(it->second.process);
        it = known_.erase(it);
    }
    std::erase_if(ignored_, [&](int pid) { return !pids.count(pid); });

    // A process first seen at the previous look may have replaced itself
    // since (a launcher script exec'ing the program): look once more.
    std::vector<int> fresh;
    for (auto& [pid, known] : known_) {
        if (!known.young) continue;
        known.young = false;
        auto now = inspect(pid);
        if (now && now->executable == known.process.executable) continue;
        if (known.program && baseline_) changes.terminated.push_back(known.process);
        fresh.push_back(pid);
    }
    for (int pid : fresh) known_.erase(pid);

    // New: read them all first, so that a helper started together with its
    // program is still recognised as the program's.
    std::vector<int> added;
    for (int pid : pids) {
        if (known_.count(pid) || ignored_.count(pid)) continue;
        auto process = inspect(pid);
        if (!process) {
            ignored_.insert(pid);
            continue;
        }
        process->pid = pid;
        known_[pid] = Known{*process, false, baseline_};  // the baseline is settled already
        added.push_back(pid);
    }
    for (int pid : added) {
        Known& k = known_[pid];
        k.program = !helperOf(k.process);
        if (k.program && baseline_) changes.launched.push_back(k.process);
    }
    baseline_ = true;
    return changes;
}

std::vector<ProcessWatch::Process> ProcessWatch::programs() const {
    std::vector<Process> out;
    for (const auto& [pid, known] : known_)
        if (known.program) out.push_back(known.process);
    return out;
}

}  // namespace velmar::linux_backend
