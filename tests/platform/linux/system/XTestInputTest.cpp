// The command that opens an address in a new window of the running browser,
// built from that browser's command line as /proc shows it. No display needed.
#include "platform/linux/system/XTestInput.hpp"

#include <gtest/gtest.h>

#include <set>

namespace velmar::linux_backend {
namespace {

using Words = std::vector<std::string>;

TEST(XTestInputNewWindow, CarriesTheProfileAndSandboxSwitchOfTheRunningBrowser) {
    const std::string url = "https://chatgpt.com/c/abc";
    // What exists on the simulated disk.
    const std::set<std::string> directories = {"/home/ann/My Profiles/work", "/tmp/p"};
    const std::set<std::string> programs = {"/usr/lib/chromium/chromium"};
    struct Case {
        const char* description;
        Words running;
        Words expected;
    };
    const Case cases[] = {
        {"unknown command line: the desktop entry's program, nothing carried", {},
         {"/usr/bin/chromium", "--new-window", url}},
        {"the running program, its profile and its sandbox switch; other switches and pages stay behind",
         {"/usr/lib/chromium/chromium", "--force-renderer-accessibility", "--no-sandbox", "--user-data-dir=/tmp/p",
          "--window-size=1280,900", "about:blank"},
         {"/usr/lib/chromium/chromium", "--no-sandbox", "--user-data-dir=/tmp/p", "--new-window", url}},
        {"Chromium's command line rewritten as one string",
         {"/usr/lib/chromium/chromium --no-sandbox --user-data-dir=/tmp/p --host-resolver-rules=MAP * 127.0.0.1:4 "
          "about:blank"},
         {"/usr/lib/chromium/chromium", "--no-sandbox", "--user-data-dir=/tmp/p", "--new-window", url}},
        {"a rewritten command line padded with empty strings",
         {"/usr/lib/chromium/chromium --user-data-dir=/tmp/p about:blank", "", ""},
         {"/usr/lib/chromium/chromium", "--user-data-dir=/tmp/p", "--new-window", url}},
        {"a profile path with spaces, split by the rewriting, is put back together",
         {"/usr/lib/chromium/chromium --user-data-dir=/home/ann/My Profiles/work --no-sandbox"},
         {"/usr/lib/chromium/chromium", "--user-data-dir=/home/ann/My Profiles/work", "--no-sandbox", "--new-window",
          url}},
        {"the page after a profile path with spaces is not part of it",
         {"/usr/lib/chromium/chromium --user-data-dir=/home/ann/My Profiles/work https://example.com"},
         {"/usr/lib/chromium/chromium", "--user-data-dir=/home/ann/My Profiles/work", "--new-window", url}},
        {"a path with spaces given as separate arguments is kept whole",
         {"/usr/lib/chromium/chromium", "--user-data-dir=/home/ann/My Profiles/work"},
         {"/usr/lib/chromium/chromium", "--user-data-dir=/home/ann/My Profiles/work", "--new-window", url}},
        {"a value after a space is a page to open, not the profile (the instance runs on the default one)",
         {"/usr/lib/chromium/chromium", "--user-data-dir", "/tmp/p"},
         {"/usr/lib/chromium/chromium", "--new-window", url}},
        {"a program named without its path: the desktop entry's program",
         {"chromium", "--user-data-dir=/tmp/p"}, {"/usr/bin/chromium", "--user-data-dir=/tmp/p", "--new-window", url}},
        {"a running program that is gone (updated away): the desktop entry's program",
         {"/opt/old/chrome", "--no-sandbox"}, {"/usr/bin/chromium", "--no-sandbox", "--new-window", url}},
        {"a switch that only begins like the sandbox one is not carried",
         {"/usr/lib/chromium/chromium", "--no-sandbox-and-zygote"}, {"/usr/lib/chromium/chromium", "--new-window", url}},
    };
    for (const auto& c : cases) {
        const auto command = XTestInput::newWindowCommand(
            c.running, "/usr/bin/chromium", url, [&](const std::string& p) { return directories.contains(p); },
            [&](const std::string& p) { return programs.contains(p); });
        EXPECT_EQ(command, c.expected) << c.description;
    }
}

}  // namespace
}  // namespace velmar::linux_backend
