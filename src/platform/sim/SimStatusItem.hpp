#pragma once
// A status item that records what it was asked to show and lets a test open
// the menu and choose items by title.

#include "platform/StatusItem.hpp"

#include <optional>
#include <string>
#include <vector>

namespace velmar::sim {

class SimStatusItem final : public StatusItem {
public:
    void setImage(const StatusImage& image) override { images.push_back(image); }
    void setMenu(MenuModel model) override {
        menu = std::move(model);
        ++menuUpdates;
    }
    void openMenu() override { ++openRequests; }
    void setListener(StatusItemListener* l) override { listener = l; }

    // Opens the menu as the user would (the listener rebuilds it), and closes it.
    void open();
    void close();
    // The titles of the current menu, separators as "---".
    std::vector<std::string> titles() const;
    // Chooses the action item with this title; false when there is none.
    bool choose(const std::string& title);
    const MenuItem* find(const std::string& title) const;
    std::optional<StatusImage> shown() const {
        return images.empty() ? std::nullopt : std::optional(images.back());
    }

    std::vector<StatusImage> images;
    MenuModel menu;
    int menuUpdates = 0;
    int openRequests = 0;
    StatusItemListener* listener = nullptr;
};

}  // namespace velmar::sim
