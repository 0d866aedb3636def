#include "platform/linux/atspi/AtspiRoleMap.hpp"

#include <atspi/atspi.h>

#include <array>

namespace velmar::linux_backend {
namespace {

struct RoleRow {
    AtspiRole atspi;
    AXRoleMapping ax;
};

// Chromium exposes one page to both platforms from the same tree; these rows
// pair the AT-SPI role it gives an element on Linux with the role and
// subrole it gives the same element on macOS.
constexpr std::array kRoles = {
    RoleRow{ATSPI_ROLE_DOCUMENT_WEB, {"AXWebArea", {}}},
    RoleRow{ATSPI_ROLE_DOCUMENT_FRAME, {"AXWebArea", {}}},
    RoleRow{ATSPI_ROLE_SECTION, {"AXGroup", {}}},
    RoleRow{ATSPI_ROLE_PANEL, {"AXGroup", {}}},
    RoleRow{ATSPI_ROLE_FILLER, {"AXGroup", {}}},
    RoleRow{ATSPI_ROLE_GROUPING, {"AXGroup", {}}},
    RoleRow{ATSPI_ROLE_PARAGRAPH, {"AXGroup", {}}},
    RoleRow{ATSPI_ROLE_BLOCK_QUOTE, {"AXGroup", {}}},
    RoleRow{ATSPI_ROLE_FORM, {"AXGroup", {}}},
    RoleRow{ATSPI_ROLE_LIST_ITEM, {"AXGroup", {}}},
    RoleRow{ATSPI_ROLE_CONTENT_DELETION, {"AXGroup", {"AXDeleteStyleGroup"}}},
    RoleRow{ATSPI_ROLE_CONTENT_INSERTION, {"AXGroup", {"AXInsertStyleGroup"}}},
    RoleRow{ATSPI_ROLE_LANDMARK, {"AXGroup", {"AXLandmarkRegion"}}},
    RoleRow{ATSPI_ROLE_ARTICLE, {"AXGroup", {"AXDocumentArticle"}}},
    RoleRow{ATSPI_ROLE_STATUS_BAR, {"AXGroup", {"AXApplicationStatus"}}},
    RoleRow{ATSPI_ROLE_LOG, {"AXGroup", {"AXApplicationLog"}}},
    RoleRow{ATSPI_ROLE_ALERT, {"AXGroup", {"AXApplicationAlert"}}},
    RoleRow{ATSPI_ROLE_TIMER, {"AXGroup", {"AXApplicationTimer"}}},
    RoleRow{ATSPI_ROLE_MATH, {"AXGroup", {"AXDocumentMath"}}},
    RoleRow{ATSPI_ROLE_NOTIFICATION, {"AXGroup", {"AXApplicationAlert"}}},
    RoleRow{ATSPI_ROLE_STATIC, {"AXStaticText", {}}},
    RoleRow{ATSPI_ROLE_TEXT, {"AXStaticText", {}}},
    RoleRow{ATSPI_ROLE_LABEL, {"AXStaticText", {}}},
    RoleRow{ATSPI_ROLE_CAPTION, {"AXGroup", {}}},
    RoleRow{ATSPI_ROLE_HEADING, {"AXHeading", {}}},
    RoleRow{ATSPI_ROLE_PUSH_BUTTON, {"AXButton", {}}},
    RoleRow{ATSPI_ROLE_PUSH_BUTTON_MENU, {"AXPopUpButton", {}}},
    RoleRow{ATSPI_ROLE_TOGGLE_BUTTON, {"AXCheckBox", {"AXToggle"}}},
    RoleRow{ATSPI_ROLE_CHECK_BOX, {"AXCheckBox", {}}},
    RoleRow{ATSPI_ROLE_RADIO_BUTTON, {"AXRadioButton", {}}},
    RoleRow{ATSPI_ROLE_PAGE_TAB, {"AXRadioButton", {"AXTabButton"}}},
    RoleRow{ATSPI_ROLE_PAGE_TAB_LIST, {"AXTabGroup", {}}},
    RoleRow{ATSPI_ROLE_COMBO_BOX, {"AXPopUpButton", {}}},
    RoleRow{ATSPI_ROLE_LINK, {"AXLink", {}}},
    RoleRow{ATSPI_ROLE_ENTRY, {"AXTextField", {}}},
    RoleRow{ATSPI_ROLE_PASSWORD_TEXT, {"AXTextField", {"AXSecureTextField"}}},
    RoleRow{ATSPI_ROLE_SPIN_BUTTON, {"AXIncrementor", {}}},
    RoleRow{ATSPI_ROLE_LIST, {"AXList", {"AXContentList"}}},
    RoleRow{ATSPI_ROLE_DESCRIPTION_LIST, {"AXList", {"AXDescriptionList"}}},
    RoleRow{ATSPI_ROLE_DESCRIPTION_TERM, {"AXGroup", {"AXTerm"}}},
    RoleRow{ATSPI_ROLE_DESCRIPTION_VALUE, {"AXGroup", {"AXDefinition"}}},
    RoleRow{ATSPI_ROLE_LIST_BOX, {"AXList", {}}},
    RoleRow{ATSPI_ROLE_IMAGE, {"AXImage", {}}},
    RoleRow{ATSPI_ROLE_IMAGE_MAP, {"AXImage", {}}},
    RoleRow{ATSPI_ROLE_TOOL_BAR, {"AXToolbar", {}}},
    RoleRow{ATSPI_ROLE_TABLE, {"AXTable", {}}},
    RoleRow{ATSPI_ROLE_TREE_TABLE, {"AXTable", {}}},
    RoleRow{ATSPI_ROLE_TABLE_ROW, {"AXRow", {}}},
    RoleRow{ATSPI_ROLE_TABLE_CELL, {"AXCell", {}}},
    RoleRow{ATSPI_ROLE_TABLE_COLUMN_HEADER, {"AXCell", {}}},
    RoleRow{ATSPI_ROLE_TABLE_ROW_HEADER, {"AXCell", {}}},
    RoleRow{ATSPI_ROLE_PROGRESS_BAR, {"AXProgressIndicator", {}}},
    RoleRow{ATSPI_ROLE_SLIDER, {"AXSlider", {}}},
    RoleRow{ATSPI_ROLE_SCROLL_PANE, {"AXScrollArea", {}}},
    RoleRow{ATSPI_ROLE_SCROLL_BAR, {"AXScrollBar", {}}},
    RoleRow{ATSPI_ROLE_SEPARATOR, {"AXSplitter", {}}},
    RoleRow{ATSPI_ROLE_MENU, {"AXMenu", {}}},
    RoleRow{ATSPI_ROLE_MENU_BAR, {"AXMenuBar", {}}},
    RoleRow{ATSPI_ROLE_MENU_ITEM, {"AXMenuItem", {}}},
    RoleRow{ATSPI_ROLE_CHECK_MENU_ITEM, {"AXMenuItem", {}}},
    RoleRow{ATSPI_ROLE_RADIO_MENU_ITEM, {"AXMenuItem", {}}},
    RoleRow{ATSPI_ROLE_TREE, {"AXOutline", {}}},
    RoleRow{ATSPI_ROLE_TREE_ITEM, {"AXRow", {"AXOutlineRow"}}},
    RoleRow{ATSPI_ROLE_FRAME, {"AXWindow", {"AXStandardWindow"}}},
    RoleRow{ATSPI_ROLE_WINDOW, {"AXWindow", {"AXStandardWindow"}}},
    RoleRow{ATSPI_ROLE_DIALOG, {"AXWindow", {"AXDialog"}}},
    RoleRow{ATSPI_ROLE_APPLICATION, {"AXApplication", {}}},
    RoleRow{ATSPI_ROLE_FOOTER, {"AXGroup", {"AXLandmarkContentInfo"}}},
    RoleRow{ATSPI_ROLE_HEADER, {"AXGroup", {"AXLandmarkBanner"}}},
};

// ARIA landmark and live-region roles, as Chromium lists them in "xml-roles".
struct XmlRow {
    std::string_view xml;
    AXRoleMapping ax;
};
constexpr std::array kXmlRoles = {
    XmlRow{"navigation", {"AXGroup", {"AXLandmarkNavigation"}}},
    XmlRow{"main", {"AXGroup", {"AXLandmarkMain"}}},
    XmlRow{"banner", {"AXGroup", {"AXLandmarkBanner"}}},
    XmlRow{"complementary", {"AXGroup", {"AXLandmarkComplementary"}}},
    XmlRow{"contentinfo", {"AXGroup", {"AXLandmarkContentInfo"}}},
    XmlRow{"search", {"AXGroup", {"AXLandmarkSearch"}}},
    XmlRow{"region", {"AXGroup", {"AXLandmarkRegion"}}},
    XmlRow{"form", {"AXGroup", {"AXLandmarkForm"}}},
    XmlRow{"status", {"AXGroup", {"AXApplicationStatus"}}},
    XmlRow{"log", {"AXGroup", {"AXApplicationLog"}}},
    XmlRow{"alertdialog", {"AXGroup", {"AXApplicationAlertDialog"}}},
};

}  // namespace

AXRoleMapping mapAtspiRole(int atspiRole, const RoleHints& hints) {
    // "xml-roles" may list fallbacks after the first role; the first one counts.
    std::string_view xml = hints.xmlRoles.substr(0, hints.xmlRoles.find(' '));
    const auto role = static_cast<AtspiRole>(atspiRole);
    // Chromium gives a list bullet its own role on macOS and a text leaf on Linux.
    if (hints.tag == "::marker") return {"AXListMarker", {}};
    // A button that opens a menu is a pop-up button on macOS.
    if (role == ATSPI_ROLE_PUSH_BUTTON && (hints.hasPopup == "menu" || hints.hasPopup == "true"))
        return {"AXPopUpButton", {}};
    if (!xml.empty() && role != ATSPI_ROLE_FRAME && role != ATSPI_ROLE_DOCUMENT_WEB) {
        for (const auto& row : kXmlRoles) {
            if (row.xml == xml) return row.ax;
        }
    }
    if (role == ATSPI_ROLE_ENTRY && hints.multiLine) return {"AXTextArea", {}};
    if (role == ATSPI_ROLE_CHECK_BOX && hints.checked) return {"AXCheckBox", {"AXChecked"}};
    AXRoleMapping mapped{"AXGroup", {}};  // what Chromium gives an element without a closer match on macOS
    for (const auto& row : kRoles) {
        if (row.atspi == role) {
            mapped = row.ax;
            break;
        }
    }
    // Chromium on Linux gives an inline element (strong, em, code, a maths
    // token) the role of a text leaf, holding its own text leaf; only text
    // leaves come without a tag.
    const bool element = !hints.tag.empty();
    if (element && (mapped.role == "AXStaticText" || (mapped.role == "AXGroup" && !mapped.subrole))) {
        if (hints.tag == "code") return {"AXGroup", {"AXCodeStyleGroup"}};
        if (hints.tag == "pre") return {"AXGroup", {"AXPreformatted"}};
        if (hints.display.empty() || hints.display.starts_with("inline")) return {"AXGroup", {"AXInline"}};
        return {"AXGroup", {}};
    }
    return mapped;
}

NameSlot nameSlot(std::string_view axRole, std::string_view nameFrom) {
    if (axRole == "AXStaticText") return NameSlot::Value;
    // Chromium names links and plain groups in the description on macOS,
    // whatever the name came from.
    if (axRole == "AXLink" || axRole == "AXGroup") return NameSlot::Description;
    if (axRole == "AXImage" && nameFrom.empty()) return NameSlot::None;
    if (nameFrom == "placeholder") return NameSlot::None;
    if (nameFrom.empty() || nameFrom == "contents" || nameFrom == "related-element" || nameFrom == "caption")
        return NameSlot::Title;
    return NameSlot::Description;
}

}  // namespace velmar::linux_backend
