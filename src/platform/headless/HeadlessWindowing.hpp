#pragma once
// The agent's windows where there is no display: a web-view window is only a
// record of whether it would be shown; its page never loads, and scripts run
// against it report success without running.

#include "platform/Windowing.hpp"

namespace velmar::headless {

class HeadlessWindowing final : public Windowing {
public:
    void setActivationPolicy(ActivationPolicy) override {}
    void activate() override {}
    std::unique_ptr<WebViewWindow> createWebViewWindow(const WebViewWindowSpec& spec) override;
};

}  // namespace velmar::headless
