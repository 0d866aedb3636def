#pragma once
// Process-level accessibility services of the platform.

#include "platform/AccessibilityElement.hpp"

namespace velmar {

class Accessibility {
public:
    virtual ~Accessibility() = default;

    // Whether this process may read other applications' trees.
    virtual bool isProcessTrusted() const = 0;
    // The root element of a running application; null when it cannot be had.
    virtual AXElementRef applicationElement(int pid) const = 0;
};

}  // namespace velmar
