#include "platform/linux/system/StderrLogSink.hpp"

#include <cerrno>
#include <string>

#include <unistd.h>

namespace velmar::linux_backend {

void StderrLogSink::writeLine(std::string_view line) {
    std::string text;
    text.reserve(line.size() + 1);
    text.append(line).push_back('\n');
    std::string_view rest(text);
    while (!rest.empty()) {
        ssize_t n = ::write(fd_, rest.data(), rest.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // nowhere left to report it
        }
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace velmar::linux_backend
