#include "platform/linux/gtk/GtkAlerts.hpp"

#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace velmar::linux_backend {

int GtkAlerts::run(const Alert& alert) {
    GtkMessageType type = alert.style == Alert::Style::critical  ? GTK_MESSAGE_ERROR
                          : alert.style == Alert::Style::warning ? GTK_MESSAGE_WARNING
                                                                 : GTK_MESSAGE_INFO;
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, type, GTK_BUTTONS_NONE, "%s",
                                               alert.message.c_str());
    if (!alert.informativeText.empty())
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", alert.informativeText.c_str());
    std::vector<std::string> buttons = alert.buttons.empty() ? std::vector<std::string>{"OK"} : alert.buttons;
    // GTK lays buttons out right to left from the last added; add them so the
    // first (default) ends up rightmost, as on other desktops.
    for (std::size_t i = buttons.size(); i-- > 0;)
        gtk_dialog_add_button(GTK_DIALOG(dialog), buttons[i].c_str(), static_cast<int>(i));
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), 0);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return response >= 0 && response < static_cast<int>(buttons.size()) ? response : -1;
}

std::optional<Credentials> GtkAlerts::askCredentials(const CredentialsPrompt& prompt) {
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE, "%s",
                                               prompt.message.c_str());
    if (!prompt.informativeText.empty())
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", prompt.informativeText.c_str());
    gtk_dialog_add_button(GTK_DIALOG(dialog), prompt.cancelButton.c_str(), GTK_RESPONSE_CANCEL);
    gtk_dialog_add_button(GTK_DIALOG(dialog), prompt.confirmButton.c_str(), GTK_RESPONSE_OK);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_widget_set_size_request(box, 260, 56);
    GtkWidget* email = gtk_entry_new();
    gtk_entry_set_placeholder_text(GTK_ENTRY(email), prompt.emailPlaceholder.c_str());
    gtk_entry_set_input_purpose(GTK_ENTRY(email), GTK_INPUT_PURPOSE_EMAIL);
    gtk_entry_set_activates_default(GTK_ENTRY(email), TRUE);
    GtkWidget* password = gtk_entry_new();
    gtk_entry_set_placeholder_text(GTK_ENTRY(password), prompt.passwordPlaceholder.c_str());
    gtk_entry_set_visibility(GTK_ENTRY(password), FALSE);
    gtk_entry_set_input_purpose(GTK_ENTRY(password), GTK_INPUT_PURPOSE_PASSWORD);
    gtk_entry_set_activates_default(GTK_ENTRY(password), TRUE);
    gtk_box_pack_start(GTK_BOX(box), email, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), password, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog))), box, FALSE, FALSE, 0);
    gtk_widget_show_all(box);
    gtk_widget_grab_focus(email);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);

    std::optional<Credentials> answer;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK)
        answer = Credentials{gtk_entry_get_text(GTK_ENTRY(email)), gtk_entry_get_text(GTK_ENTRY(password))};
    gtk_widget_destroy(dialog);
    return answer;
}

}  // namespace velmar::linux_backend
