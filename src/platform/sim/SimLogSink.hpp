#pragma once
// Collects log lines so tests can read what the agent said.

#include "platform/LogSink.hpp"

#include <cstddef>
#include <string>
#include <vector>

namespace velmar::sim {

class SimLogSink final : public LogSink {
public:
    void writeLine(std::string_view line) override { lines_.emplace_back(line); }

    const std::vector<std::string>& lines() const { return lines_; }
    // Lines that contain `fragment`.
    std::size_t countContaining(std::string_view fragment) const;
    void clear() { lines_.clear(); }

private:
    std::vector<std::string> lines_;
};

}  // namespace velmar::sim
