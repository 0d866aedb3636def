#include "platform/linux/system/StderrLogSink.hpp"

#include <gtest/gtest.h>

#include <string>

#include <unistd.h>

namespace velmar::linux_backend {
namespace {

// Each line leaves in one piece with its line feed.
TEST(StderrLogSink, WritesWholeLines) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    {
        StderrLogSink sink(fds[1]);
        sink.writeLine("[agent] one");
        sink.writeLine("");
        sink.writeLine("[core:info] two");
    }
    ::close(fds[1]);
    std::string out;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    EXPECT_EQ(out, "[agent] one\n\n[core:info] two\n");
}

}  // namespace
}  // namespace velmar::linux_backend
