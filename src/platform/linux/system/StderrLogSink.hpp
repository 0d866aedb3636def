#pragma once
// Log lines to standard error, each in a single write so lines from the agent
// and its relayed core never interleave mid-line.

#include "platform/LogSink.hpp"

namespace velmar::linux_backend {

class StderrLogSink final : public LogSink {
public:
    explicit StderrLogSink(int fd = 2) : fd_(fd) {}
    void writeLine(std::string_view line) override;

private:
    int fd_;
};

}  // namespace velmar::linux_backend
