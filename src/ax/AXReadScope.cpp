#include "ax/AXReadScope.hpp"

namespace velmar {

AXReadScope::AXReadScope() : memory_(AXElement::openMemory()) {}

AXReadScope::~AXReadScope() { AXElement::closeMemory(*memory_); }

AXElement AXReadScope::read(const AXElement& element) const {
    // Already read through a memory that lasts (a mirror): the parse uses it.
    if (element.readsThroughOpenMemory()) return element;
    return AXElement(element.raw(), memory_);
}

}  // namespace velmar
