#pragma once
// The status icon where there is no display: nothing is drawn and no menu
// ever opens.

#include "platform/StatusItem.hpp"

namespace velmar::headless {

class HeadlessStatusItem final : public StatusItem {
public:
    void setImage(const StatusImage&) override {}
    void setMenu(MenuModel) override {}
    void openMenu() override {}
    void setListener(StatusItemListener*) override {}
};

}  // namespace velmar::headless
