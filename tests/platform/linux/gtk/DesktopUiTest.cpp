// The real desktop backends of the user interface. The Desktop tests need a
// display and a session bus: ctest runs them inside a private desktop
// (tests/support/private-desktop.sh, registered as "ui_private_desktop"), which
// sets VELMAR_PRIVATE_DESKTOP; anywhere else they skip rather than open
// windows on a developer's own screen.

#include "platform/linux/gtk/AppIndicatorStatusItem.hpp"
#include "platform/linux/gtk/GtkClipboard.hpp"
#include "platform/linux/gtk/GtkHelperPanel.hpp"
#include "platform/linux/gtk/GtkStatusWindow.hpp"
#include "platform/linux/gtk/GtkWindowing.hpp"
#include "platform/linux/session/LibsecretStore.hpp"
#include "platform/linux/system/GLibMainLoop.hpp"
#include "platform/linux/system/LinuxEnvironment.hpp"
#include "platform/linux/system/LinuxWorkspace.hpp"
#include "platform/linux/system/X11Display.hpp"
#include "platform/sim/SimAlerts.hpp"
#include "platform/sim/SimDesktopLauncher.hpp"
#include "platform/sim/SimInstallLayout.hpp"
#include "platform/sim/SimLogSink.hpp"
#include "platform/sim/SimLoginService.hpp"
#include "platform/sim/SimWindowing.hpp"
#include "ui/SessionKeychainStore.hpp"
#include "ui/SignInWindowController.hpp"
#include "ui/StatusMenu.hpp"

#include <gtk/gtk.h>

#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

using nlohmann::json;

namespace velmar::linux_backend {
namespace {

class Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        const char* flag = std::getenv("VELMAR_PRIVATE_DESKTOP");
        if (!flag || std::string(flag) != "1") GTEST_SKIP() << "needs the private desktop: run by ctest as ui_private_desktop";
        ASSERT_TRUE(GtkWindowing::displayAvailable()) << "the private desktop's X server did not open";
    }
};

// Turns the real main context until `done` holds or `seconds` pass.
bool spinUntil(const std::function<bool()>& done, int seconds = 20) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
    }
    return true;
}

std::filesystem::path screenshotDir() {
    auto dir = std::filesystem::path(VELMAR_TOOL_DIR) / "screenshots";
    std::filesystem::create_directories(dir);
    return dir;
}

TEST_F(Desktop, WebKitSignInClicksThroughBothStepsOfTheShippedPage) {

    GLibMainLoop loop;
    GtkWindowing windowing;
    sim::SimLogSink log;
    sim::SimDesktopLauncher launcher;
    const std::filesystem::path content = std::filesystem::path(VELMAR_SHARE_DIR) / "signin";
    ASSERT_TRUE(std::filesystem::exists(content / "signin.html")) << content;

    SignInWindowController controller({windowing, loop, log, launcher}, content);
    std::vector<std::string> received;
    controller.onAction = [&](OnboardingAction a) { received.emplace_back(rawValue(a)); };
    controller.onSignInEmail = [&](const std::string& e, const std::string& p) {
        received.push_back("email:" + e + "|" + p);
    };
    auto& window = static_cast<WebKitWindow&>(controller.window());
    auto click = [&](const std::string& id) { controller.eval("document.getElementById('" + id + "').click()"); };
    auto waitFor = [&](std::size_t n) { return spinUntil([&] { return received.size() >= n; }); };
    auto snapshot = [&](const char* name) {
        spinUntil([] { return false; }, 1);  // let the frame paint
        EXPECT_TRUE(window.saveSnapshot(screenshotDir() / name)) << name;
    };

    controller.setStep(OnboardingStep::signIn);  // queued until the page has loaded
    controller.present();
    ASSERT_TRUE(spinUntil([&] { return controller.pageLoaded() && controller.isVisible(); }));
    snapshot("signin-step1-signin.png");

    click("signin-button");
    ASSERT_TRUE(waitFor(1));
    // The e-mail form: blanks are refused by the page, a real address is sent.
    controller.eval("document.getElementById('email').value='   ';"
                    "document.getElementById('password').value='pw';"
                    "document.getElementById('email-button').click()");
    controller.eval("document.getElementById('email').value=' ana+test@example.com ';"
                    "document.getElementById('password').value='s3cret pw';"
                    "document.getElementById('email-button').click()");
    ASSERT_TRUE(waitFor(2));

    controller.setStep(OnboardingStep::permission);
    controller.setAXGranted(false);
    click("finish-button");  // disabled until access is granted
    click("grant-button");
    ASSERT_TRUE(waitFor(3));
    snapshot("signin-step2-permission.png");

    controller.setAXGranted(true);
    snapshot("signin-step2-granted.png");
    click("finish-button");
    ASSERT_TRUE(waitFor(4));

    // A link to the web goes to the browser and the page stays where it is.
    controller.eval("var a=document.createElement('a');a.href='https://velmar.example/help';"
                    "document.body.appendChild(a);a.click();");
    ASSERT_TRUE(spinUntil([&] { return !launcher.openedURLs.empty(); }));
    controller.eval("window.webkit.messageHandlers.velmar.postMessage("
                    "{action: location.protocol === 'file:' ? 'finish' : 'left'})");
    ASSERT_TRUE(waitFor(5));

    controller.eval("velmarNoSuchFunction()");
    ASSERT_TRUE(spinUntil([&] { return !log.lines().empty(); }));

    EXPECT_EQ(received, (std::vector<std::string>{"signIn", "email:ana+test@example.com|s3cret pw", "grantAccess",
                                                  "finish", "finish"}));
    EXPECT_EQ(launcher.openedURLs, std::vector<std::string>{"https://velmar.example/help"});
}

TEST_F(Desktop, SecretServiceSessionRoundTripsThroughGnomeKeyring) {
    if (const char* reason = std::getenv("VELMAR_NO_SECRET_SERVICE"))
        GTEST_SKIP() << "no Secret Service could be started: " << reason;

    sim::SimLogSink log;
    LibsecretStore secrets(log);
    SessionKeychainStore store(secrets, log);
    store.clearSession();
    EXPECT_EQ(store.loadSession(), std::nullopt);
    store.saveSession({{"access_token", "first"}});
    store.saveSession({{"access_token", "second"}, {"user", {{"email", "ana@example.com"}}}});
    EXPECT_EQ(store.loadSession(), (json{{"access_token", "second"}, {"user", {{"email", "ana@example.com"}}}}));
    EXPECT_EQ(secrets.add(SessionKeychainStore::service, SessionKeychainStore::account, "{}"),
              SecretStore::duplicateItem);

    LibsecretStore another(log);  // a second client sees the same item
    EXPECT_EQ(another.read(SessionKeychainStore::service, SessionKeychainStore::account).status, SecretStore::success);

    store.clearSession();
    store.clearSession();
    EXPECT_EQ(store.loadSession(), std::nullopt);
    EXPECT_FALSE(secrets.inMemory());
    EXPECT_TRUE(log.lines().empty()) << log.lines().front();
}

// A container's children, one line each as `line` words them, and the one that signs out.
std::pair<std::vector<std::string>, GtkWidget*> linesOf(GtkWidget* container,
                                                        const std::function<std::string(GtkWidget*)>& line) {
    std::pair<std::vector<std::string>, GtkWidget*> out{{}, nullptr};
    GList* children = gtk_container_get_children(GTK_CONTAINER(container));
    for (GList* c = children; c; c = c->next) {
        out.first.push_back(line(GTK_WIDGET(c->data)));
        if (out.first.back().find("Sign out") != std::string::npos) out.second = GTK_WIDGET(c->data);
    }
    g_list_free(children);
    return out;
}

// The status menu of a signed-in user over a real status item, counting sign-outs.
struct SignedInMenu {
    explicit SignedInMenu(StatusItem& item) : menu({item, alerts, windowing, launcher, install, login}) {
        menu.onSignOut = [this] { ++signOuts; };
        menu.install(false);
        menu.authKnown = true;
        menu.signedInEmail = "ana@example.com";
        menu.refresh();
    }
    sim::SimAlerts alerts;
    sim::SimWindowing windowing;
    sim::SimDesktopLauncher launcher;
    sim::SimInstallLayout install;
    sim::SimLoginService login;
    StatusMenu menu;
    int signOuts = 0;
};

TEST_F(Desktop, TrayMenuShowsTheMenuModelAndItsItemsAct) {

    sim::SimLogSink log;
    AppIndicatorStatusItem item(std::filesystem::path(VELMAR_SHARE_DIR) / "icons", log);
    SignedInMenu signedIn(item);

    // The private desktop has no tray host: the agent runs on and says so once.
    EXPECT_EQ(log.lines().size(), 1u);
    auto [titles, signOut] = linesOf(item.menuWidget(), [](GtkWidget* w) -> std::string {
        if (GTK_IS_SEPARATOR_MENU_ITEM(w)) return "---";
        return gtk_menu_item_get_label(GTK_MENU_ITEM(w)) + std::string(gtk_widget_get_sensitive(w) ? "" : " (disabled)");
    });
    EXPECT_EQ(titles, (std::vector<std::string>{"Fernhollow 1.0.0 (disabled)", "Grant Accessibility access…", "---",
                                                "Signed in as ana@example.com (disabled)", "Sign out", "---",
                                                "Launch at login", "---", "Quit Fernhollow"}));
    ASSERT_NE(signOut, nullptr);
    gtk_menu_item_activate(GTK_MENU_ITEM(signOut));
    EXPECT_EQ(signedIn.signOuts, 1);
}

// Without a tray host (stock GNOME), the status window carries the menu: the
// state lines as text, the actions as buttons that act; closing it hides it
// and a later start shows it again. Its picture is saved for a look.
TEST_F(Desktop, StatusWindowShowsTheMenuWithoutATrayAndItsButtonsAct) {

    GtkStatusWindow window(std::filesystem::path(VELMAR_SHARE_DIR) / "icons", nullptr, nullptr);
    SignedInMenu signedIn(window);

    EXPECT_FALSE(window.visible()) << "nothing is shown until asked";
    window.openMenu();  // no tray beside it: the window shows
    ASSERT_TRUE(spinUntil([&] { return gtk_widget_get_mapped(window.windowWidget()); }));

    GtkWidget* box = gtk_bin_get_child(GTK_BIN(window.windowWidget()));
    auto [lines, signOut] = linesOf(box, [](GtkWidget* w) -> std::string {
        if (GTK_IS_SEPARATOR(w)) return "---";
        if (GTK_IS_LABEL(w)) return gtk_label_get_text(GTK_LABEL(w));
        return GTK_IS_BUTTON(w) ? "[" + std::string(gtk_button_get_label(GTK_BUTTON(w))) + "]" : G_OBJECT_TYPE_NAME(w);
    });
    EXPECT_EQ(lines, (std::vector<std::string>{"Fernhollow 1.0.0", "[Grant Accessibility access…]", "---",
                                               "Signed in as ana@example.com", "[Sign out]", "---",
                                               "[Launch at login]", "---", "[Quit Fernhollow]"}));

    // What a person sees.
    spinUntil([] { return false; }, 1);
    GtkWidget* top = window.windowWidget();
    const int width = gtk_widget_get_allocated_width(top), height = gtk_widget_get_allocated_height(top);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    gtk_widget_draw(top, cr);
    cairo_destroy(cr);
    EXPECT_EQ(cairo_surface_write_to_png(surface, (screenshotDir() / "status-window.png").c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(surface);

    ASSERT_NE(signOut, nullptr);
    gtk_button_clicked(GTK_BUTTON(signOut));
    EXPECT_TRUE(spinUntil([&] { return signedIn.signOuts == 1; }, 5));

    gtk_window_close(GTK_WINDOW(window.windowWidget()));
    EXPECT_TRUE(spinUntil([&] { return !window.visible(); }, 5)) << "closing hides; the agent runs on";
    window.openMenu();
    EXPECT_TRUE(spinUntil([&] { return gtk_widget_get_mapped(window.windowWidget()); })) << "a later start shows it again";
}

// The clipboard through GTK: what is put on it reads back (only after the
// main loop has fetched it: a read never waits), and every change of owner
// moves the count.
TEST_F(Desktop, ClipboardTextReadsBackAndEveryChangeMovesTheCount) {

    GtkClipboard clipboard;
    EXPECT_FALSE(clipboard.accessDenied());
    const auto before = clipboard.changeCount();
    const std::string first = "Twelve lines\nof pasted text — naïve café ✓";
    clipboard.setPlainText(first);
    ASSERT_TRUE(spinUntil([&] { return clipboard.changeCount() > before; }, 10)) << "the change was never noticed";
    ASSERT_TRUE(spinUntil([&] { return clipboard.plainText() == first; }, 10)) << "never read back";
    const auto afterFirst = clipboard.changeCount();

    clipboard.setPlainText("second");
    ASSERT_TRUE(spinUntil([&] { return clipboard.changeCount() > afterFirst; }, 10));
    ASSERT_TRUE(spinUntil([&] { return clipboard.plainText() == std::optional<std::string>("second"); }, 10));

    // Another owner with no text (an image, say): no text, never the old one.
    gtk_clipboard_clear(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
    ASSERT_TRUE(spinUntil([&] { return !clipboard.plainText().has_value(); }, 10));
}

// The X server's idle time serves where no desktop idle monitor runs (a bare
// Xvfb without GNOME); without a window manager nothing is in front.
TEST_F(Desktop, X11IdleTimeComesFromTheXServerAndNothingIsInFrontWithoutAWindowManager) {
    const char* display = std::getenv("DISPLAY");
    ASSERT_TRUE(display && *display);
    X11Display x11(std::string{display});
    EXPECT_GE(x11.idleSeconds().value_or(-1.0), 0.0) << "no idle time from the X server";
    EXPECT_EQ(x11.activeWindowProcess(), std::nullopt);
    EXPECT_EQ(X11Display(std::string{":999"}).idleSeconds(), std::nullopt) << "a display that is not there";

    LinuxEnvironment environment;
    LinuxWorkspace workspace(environment);
    EXPECT_LT(workspace.secondsSinceLastInput(), 24 * 3600.0) << "the workspace finds the X server's idle time";
    EXPECT_EQ(workspace.frontmostApplication(), std::nullopt);
}

TEST_F(Desktop, HelperPanelShowsWhereToldInBottomLeftCoordinatesAndItsCloseButtonReports) {

    GtkHelperPanel panel;
    auto screens = panel.screens();
    ASSERT_FALSE(screens.empty());
    const Rect first = screens[0].frame;
    EXPECT_EQ(first.y, 0) << "the first screen is the origin of the flipped space";
    EXPECT_EQ(panel.settingsWindow(), std::nullopt);

    // 40 points above the bottom edge of the first screen.
    const Size size = panel.size();
    panel.show({100, 40, size.width, size.height});
    ASSERT_TRUE(panel.window());
    ASSERT_TRUE(spinUntil([&] { return gtk_widget_get_mapped(panel.window()); }));
    int x = 0, y = 0;
    ASSERT_TRUE(spinUntil([&] {
        gdk_window_get_root_origin(gtk_widget_get_window(panel.window()), &x, &y);
        return x == 100;
    }, 5));
    EXPECT_EQ(y, int(first.height - 40 - size.height));

    int closes = 0;
    panel.setOnClose([&] { ++closes; });
    gtk_button_clicked(GTK_BUTTON(panel.closeButton()));
    EXPECT_EQ(closes, 1);
    panel.hide();
    EXPECT_FALSE(gtk_widget_get_visible(panel.window()));
}

// In a child process, so the bus it fails to reach is its own.
TEST(LibsecretStore, KeepsTheSessionInMemoryWithoutASecretService) {
    EXPECT_EXIT(([] {
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/velmar-bus", 1);
        ::unsetenv("DISPLAY");
        sim::SimLogSink log;
        LibsecretStore secrets(log);
        SessionKeychainStore store(secrets, log);
        bool ok = store.loadSession() == std::nullopt;
        store.saveSession({{"access_token", "t"}});
        ok = ok && store.loadSession() == json{{"access_token", "t"}};
        store.clearSession();
        ok = ok && store.loadSession() == std::nullopt && secrets.inMemory();
        ok = ok && log.lines().size() == 1 && log.lines()[0].rfind("[agent] no Secret Service available", 0) == 0;
        ::_exit(ok ? 0 : 1);
    }()), ::testing::ExitedWithCode(0), "") << "the in-memory fallback misbehaved";
}

}  // namespace
}  // namespace velmar::linux_backend
