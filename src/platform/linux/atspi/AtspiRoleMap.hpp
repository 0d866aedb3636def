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
    std::string_view display = {};   // "display": the element's CSS display ("inline", "block"…)
    bool multiLine = false;     // the entry's multi-line state
    bool checked = false;       // the check box's checked state
};

// `atspiRole` is an AtspiRole value. Besides the role, the mapping carries
// what the text of a message needs and a recorded tree keeps: an inline
// element ("static" with a tag, or any group displayed inline) is an
// "AXGroup" of subrole "AXInline", never a text leaf, so its text is read once,
// from its leaves; `<code>` is "AXCodeStyleGroup", `<pre>` "AXPreformatted";
// a checked check box has the subrole "AXChecked".
AXRoleMapping mapAtspiRole(int atspiRole, const RoleHints& hints);

// Which attribute carries an element's accessible name.
enum class NameSlot { Title, Description, Value, None };

// From the mapped role and the "name-from" object attribute: text leaves keep
// their text as the value; links and groups have it as their description; a
// name from the element's contents or a labelling
// element is its title; a name from a placeholder is no name (the placeholder
// has its own attribute); an image named by nothing of its own has no name
// (Chromium names it with a hint to describe it); any other source (aria-label, title attribute) is
// its description.
NameSlot nameSlot(std::string_view axRole, std::string_view nameFrom);

}  // namespace velmar::linux_backend
