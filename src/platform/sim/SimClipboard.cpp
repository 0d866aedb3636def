#include "platform/sim/SimClipboard.hpp"

namespace velmar::sim {

std::optional<std::string> SimClipboard::plainText() const {
    ++reads_;
    return text_;
}

}  // namespace velmar::sim
