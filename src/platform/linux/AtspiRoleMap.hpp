#pragma once
// How an AT-SPI accessible reads in the vocabulary the parsers speak: one
// table from the AT-SPI role (refined by the ARIA role Chromium passes in
// "xml-roles" and by the element's tag) to a role and subrole, and the rule
// for which of title, description and value carries the accessible name.

#include <optional>
#include <string>
#include <string_view>

namespace velmar::linux_backend {

struct AXRoleMapping {
    std::string_view role;
    std::optional<std::string_view> subrole;
    bool operator==(const AXRoleMapping&) const = default;
};

// What refines an AT-SPI role, from the element's object attributes and states.
struct RoleHints {
    std::string_view xmlRoles = {};  // "xml-roles": the ARIA role(s)
    std::string_view tag = {};       // "tag": the element's tag; "::marker" for a list bullet
    std::string_view hasPopup = {};  // "haspopup": what a button opens
    bool multiLine = false;     // the entry's multi-line state
};

// `atspiRole` is an AtspiRole value.
AXRoleMapping mapAtspiRole(int atspiRole, const RoleHints& hints);

// Which attribute carries an element's accessible name.
enum class NameSlot { Title, Description, Value, None };

// From the mapped role and the "name-from" object attribute: text leaves keep
// their text as the value; links and groups have it as their description; a
// name from the element's contents or a labelling
// element is its title; a name from a placeholder is no name (the placeholder
// has its own attribute); any other source (aria-label, title attribute) is
// its description.
NameSlot nameSlot(std::string_view axRole, std::string_view nameFrom);

}  // namespace velmar::linux_backend
