#pragma once
// One parse of a live tree. Every read of a live element is a round trip to
// the application, and a parse walks the same nodes several times, so while a
// scope is open the elements read through it ask each element for its common
// attributes (role, subrole, value, title, description, classes, children)
// in one request where the platform has one, ask for every other attribute
// (and, without such a request, for each common one) once, and answer
// repeats from memory. The memory lasts exactly as long as the scope: the next parse opens
// its own and sees the application as it is then, and an element kept past
// the end of its scope reads fresh again. An element already read through a
// mirror (AXMirror, a memory kept between parses) is read through that instead.
//
//   AXReadScope scope;
//   return parser.snapshot(scope.read(webArea), key);

#include "ax/AXElement.hpp"

#include <memory>

namespace velmar {

class AXReadScope {
public:
    AXReadScope();
    ~AXReadScope();
    AXReadScope(const AXReadScope&) = delete;
    AXReadScope& operator=(const AXReadScope&) = delete;

    // The element as this parse reads it; elements reached from it share the memory.
    AXElement read(const AXElement& element) const;

private:
    std::shared_ptr<AXElement::Memory> memory_;
};

}  // namespace velmar
