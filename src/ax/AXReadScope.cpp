#include "ax/AXReadScope.hpp"

namespace velmar {

AXReadScope::AXReadScope() : memory_(AXElement::openMemory()) {}

AXReadScope::~AXReadScope() { AXElement::closeMemory(*memory_); }

AXElement AXReadScope::read(const AXElement& element) const { return AXElement(element.raw(), memory_); }

}  // namespace velmar
