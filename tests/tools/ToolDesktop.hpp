#pragma once
// A simulated desktop for the developer tools: a browser showing hand-made chat
// pages, scripted input, and virtual time that the tools' waiting advances.

#include "capture/ChatPages.hpp"
#include "platform/sim/SimDesktop.hpp"
#include "platform/sim/SimInput.hpp"
#include "tools/ToolContext.hpp"

#include <sstream>

namespace velmar::testing {

class ToolDesktop {
public:
    static constexpr int browserPid = 700;

    ToolDesktop()
        : desktop(loop),
          context{desktop.accessibility(), desktop.workspace(), input, loop, [this](Duration d) { loop.advance(d); },
                  out, err, "1.2.3", DesktopPlatform::linuxDesktop} {}
    // A browser with one window showing `page`.
    explicit ToolDesktop(const nlohmann::json& page) : ToolDesktop() {
        launchBrowser();
        show(page);
    }

    // Starts the browser (Chromium unless told otherwise) with no windows.
    sim::SimElementPtr launchBrowser(std::string id = "chromium", int pid = browserPid) {
        return desktop.launch({pid, id, "Browser", std::filesystem::path("/usr/lib/browser/" + id)});
    }
    // A window of the browser showing the page; returns its web area.
    sim::SimElementPtr show(const N& page, int pid = browserPid) { return show(page.json(), pid); }
    sim::SimElementPtr show(const nlohmann::json& page, int pid = browserPid) {
        auto window = desktop.openWindow(pid, "page");
        auto area = sim::SimElement::fromJSON(page);
        window->append(area);
        return area;
    }
    // Replaces what a web area shows with another page's content.
    static void replace(const sim::SimElementPtr& area, const N& page) {
        area->clearChildren();
        const auto fresh = sim::SimElement::fromJSON(page.json());
        const auto children = fresh->childElements();
        for (const auto& child : children) area->append(child);
    }

    std::string output() const { return out.str(); }

    sim::SimMainLoop loop;
    sim::SimDesktop desktop;
    sim::SimInput input;
    std::ostringstream out, err;
    ToolContext context;
};

}  // namespace velmar::testing
