#include "platform/linux/gtk/GtkClipboard.hpp"

#include <gtk/gtk.h>

namespace velmar::linux_backend {

struct GtkClipboard::State {
    std::optional<std::string> text;
    std::uint64_t changeCount = 0;
};

namespace {

// Outlives the clipboard object when an answer comes after it is gone.
struct Request {
    std::weak_ptr<void> owner;
    std::uint64_t changeCount;
};

}  // namespace

GtkClipboard::GtkClipboard()
    : clipboard_(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD)), state_(std::make_shared<State>()) {
    changesNotified_ = gdk_display_supports_selection_notification(gdk_display_get_default());
    ownerChangeHandler_ = g_signal_connect(
        clipboard_, "owner-change",
        G_CALLBACK(+[](::GtkClipboard*, GdkEvent*, gpointer data) {
            auto* self = static_cast<GtkClipboard*>(data);
            self->state_->changeCount++;
            self->state_->text.reset();  // never the previous owner's text for the new one's
            self->fetch();
        }),
        this);
    fetch();
}

GtkClipboard::~GtkClipboard() {
    if (ownerChangeHandler_) g_signal_handler_disconnect(clipboard_, ownerChangeHandler_);
}

void GtkClipboard::fetch() const {
    auto* request = new Request{std::weak_ptr<void>(std::static_pointer_cast<void>(state_)), state_->changeCount};
    gtk_clipboard_request_text(
        clipboard_,
        +[](::GtkClipboard*, const gchar* text, gpointer data) {
            std::unique_ptr<Request> request(static_cast<Request*>(data));
            auto owner = request->owner.lock();
            if (!owner) return;
            auto* state = static_cast<State*>(owner.get());
            if (request->changeCount != state->changeCount) return;  // the clipboard moved on meanwhile
            if (!text) {
                state->text.reset();
                return;
            }
            gchar* valid = g_utf8_make_valid(text, -1);
            state->text = std::string(valid);
            g_free(valid);
        },
        request);
}

std::optional<std::string> GtkClipboard::plainText() const {
    // Where the display does not say when the clipboard changes hands, ask
    // on every read: the answer serves the next one.
    if (!changesNotified_) {
        const auto cached = state_->text;
        fetch();
        return cached;
    }
    return state_->text;
}

std::uint64_t GtkClipboard::changeCount() const { return state_->changeCount; }

void GtkClipboard::setPlainText(const std::string& text) {
    gtk_clipboard_set_text(clipboard_, text.c_str(), static_cast<gint>(text.size()));
}

}  // namespace velmar::linux_backend
