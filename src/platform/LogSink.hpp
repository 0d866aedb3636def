#pragma once
// Where the agent's log lines go: standard error on a real system. Each call
// writes one whole line; the text carries its own prefix ("[agent] ", ...) and
// no trailing line feed.

#include <string_view>

namespace velmar {

class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void writeLine(std::string_view line) = 0;
};

}  // namespace velmar
