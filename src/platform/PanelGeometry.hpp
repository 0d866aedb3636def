#pragma once
// Plain geometry for panels and screens: global coordinates with the origin
// at the bottom left of the first screen.

namespace velmar {

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    double minX() const { return x; }
    double maxX() const { return x + width; }
    double minY() const { return y; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2; }
    bool operator==(const Rect&) const = default;
};

struct Size {
    double width = 0, height = 0;
};

struct ScreenInfo {
    Rect frame;
    Rect visibleFrame;  // without the desktop's panels and docks
};

}  // namespace velmar
