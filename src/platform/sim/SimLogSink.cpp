#include "platform/sim/SimLogSink.hpp"

#include <algorithm>

namespace velmar::sim {

std::size_t SimLogSink::countContaining(std::string_view fragment) const {
    return static_cast<std::size_t>(std::count_if(lines_.begin(), lines_.end(), [&](const std::string& line) {
        return line.find(fragment) != std::string::npos;
    }));
}

}  // namespace velmar::sim
