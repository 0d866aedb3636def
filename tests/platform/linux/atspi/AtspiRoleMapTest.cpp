#include "platform/linux/atspi/AtspiRoleMap.hpp"

#include <atspi/atspi.h>
#include <gtest/gtest.h>

namespace velmar::linux_backend {
namespace {

// What Chromium gives the same element on Linux, and what the parsers must
// read for it.
TEST(AtspiRoleMap, MapsChromiumsLinuxRolesOntoTheParsersVocabulary) {
    struct Case { const char* what; AtspiRole role; RoleHints hints; AXRoleMapping expected; };
    const Case cases[] = {
        {"page", ATSPI_ROLE_DOCUMENT_WEB, {}, {"AXWebArea", {}}},
        {"text leaf", ATSPI_ROLE_STATIC, {}, {"AXStaticText", {}}},
        {"main element", ATSPI_ROLE_LANDMARK, {.xmlRoles = "main"}, {"AXGroup", {"AXLandmarkMain"}}},
        {"landmark of unknown kind", ATSPI_ROLE_LANDMARK, {}, {"AXGroup", {"AXLandmarkRegion"}}},
        // The roles below are ones a parser looks for: a slip in the table loses a fallback on Linux.
        {"aside", ATSPI_ROLE_LANDMARK, {.xmlRoles = "complementary"}, {"AXGroup", {"AXLandmarkComplementary"}}},
        {"article", ATSPI_ROLE_ARTICLE, {}, {"AXGroup", {"AXDocumentArticle"}}},
        {"role=status", ATSPI_ROLE_STATUS_BAR, {.xmlRoles = "status"}, {"AXGroup", {"AXApplicationStatus"}}},
        {"menu button", ATSPI_ROLE_PUSH_BUTTON_MENU, {}, {"AXPopUpButton", {}}},
        {"textarea", ATSPI_ROLE_ENTRY, {.multiLine = true}, {"AXTextArea", {}}},
        {"text input", ATSPI_ROLE_ENTRY, {}, {"AXTextField", {}}},
        {"first of several xml roles counts", ATSPI_ROLE_LANDMARK, {.xmlRoles = "main region"},
         {"AXGroup", {"AXLandmarkMain"}}},
        {"list bullet", ATSPI_ROLE_STATIC, {.tag = "::marker"}, {"AXListMarker", {}}},
        {"button opening a menu", ATSPI_ROLE_PUSH_BUTTON, {.hasPopup = "menu"}, {"AXPopUpButton", {}}},
        {"button opening a dialog", ATSPI_ROLE_PUSH_BUTTON, {.hasPopup = "dialog"}, {"AXButton", {}}},
        {"unknown role reads as a group", ATSPI_ROLE_REDUNDANT_OBJECT, {}, {"AXGroup", {}}},
        // An inline element is never a text leaf, or its text would be read twice.
        {"strong", ATSPI_ROLE_STATIC, {.tag = "strong", .display = "inline"}, {"AXGroup", {"AXInline"}}},
        {"maths token", ATSPI_ROLE_STATIC, {.tag = "mi", .display = "block math"}, {"AXGroup", {}}},
        {"inline code", ATSPI_ROLE_STATIC, {.tag = "code", .display = "inline"}, {"AXGroup", {"AXCodeStyleGroup"}}},
        {"pre shown as a section", ATSPI_ROLE_SECTION, {.tag = "pre", .display = "block"},
         {"AXGroup", {"AXPreformatted"}}},
        {"span shown as a section", ATSPI_ROLE_SECTION, {.tag = "span", .display = "inline"}, {"AXGroup", {"AXInline"}}},
        {"link keeps its role", ATSPI_ROLE_LINK, {.tag = "a", .display = "inline"}, {"AXLink", {}}},
        {"checked task box", ATSPI_ROLE_CHECK_BOX, {.tag = "input", .checked = true}, {"AXCheckBox", {"AXChecked"}}},
        {"unchecked task box", ATSPI_ROLE_CHECK_BOX, {.tag = "input"}, {"AXCheckBox", {}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mapAtspiRole(c.role, c.hints), c.expected) << c.what;
    }
}

TEST(AtspiRoleMap, PutsTheNameWhereChromiumPutsItOnMacOS) {
    struct Case { const char* what; const char* role; const char* nameFrom; NameSlot expected; };
    const Case cases[] = {
        {"text leaf keeps its text as value", "AXStaticText", "contents", NameSlot::Value},
        {"heading named by its text", "AXHeading", "contents", NameSlot::Title},
        {"page named by its title element", "AXWebArea", "related-element", NameSlot::Title},
        {"button with aria-label", "AXButton", "attribute", NameSlot::Description},
        {"link named by its text", "AXLink", "contents", NameSlot::Description},
        {"textarea named by its placeholder", "AXTextArea", "placeholder", NameSlot::None},
        {"window without a name source", "AXWindow", "", NameSlot::Title},
        {"image with alt text", "AXImage", "attribute", NameSlot::Description},
        {"image without alt: Chromium's hint is no name", "AXImage", "", NameSlot::None},
    };
    for (const auto& c : cases) EXPECT_EQ(nameSlot(c.role, c.nameFrom), c.expected) << c.what;
}

}  // namespace
}  // namespace velmar::linux_backend
