#include "platform/sim/SimStatusItem.hpp"

namespace velmar::sim {

void SimStatusItem::open() {
    if (listener) listener->menuWillOpen();
}

void SimStatusItem::close() {
    if (listener) listener->menuDidClose();
}

std::vector<std::string> SimStatusItem::titles() const {
    std::vector<std::string> out;
    for (const auto& item : menu) out.push_back(item.kind == MenuItem::Kind::separator ? "---" : item.title);
    return out;
}

const MenuItem* SimStatusItem::find(const std::string& title) const {
    for (const auto& item : menu)
        if (item.kind != MenuItem::Kind::separator && item.title == title) return &item;
    return nullptr;
}

bool SimStatusItem::choose(const std::string& title) {
    const MenuItem* item = find(title);
    if (!item || item->kind != MenuItem::Kind::action || !item->activate) return false;
    auto fn = item->activate;  // the action may rebuild the menu under us
    fn();
    return true;
}

}  // namespace velmar::sim
