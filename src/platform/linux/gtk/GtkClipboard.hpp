#pragma once
// The desktop's clipboard through GTK, plain text only. GTK reads another
// application's clipboard by asking it and waiting; waiting here would run a
// nested main loop inside a transcript read. So the text is fetched without
// waiting whenever the clipboard changes hands, kept in memory only, and
// read from there; until the new owner has answered there is no text.
// Needs GTK initialised on a display (GtkWindowing::displayAvailable()).
// Main loop only.

#include "platform/Clipboard.hpp"

#include <cstdint>
#include <memory>

typedef struct _GtkClipboard GtkClipboard;

namespace velmar::linux_backend {

class GtkClipboard final : public Clipboard {
public:
    GtkClipboard();
    ~GtkClipboard() override;
    GtkClipboard(const GtkClipboard&) = delete;
    GtkClipboard& operator=(const GtkClipboard&) = delete;

    std::optional<std::string> plainText() const override;
    // GTK has no per-application clipboard permission.
    bool accessDenied() const override { return false; }

    // Moves each time the clipboard changes hands (a copy in any application).
    std::uint64_t changeCount() const;
    // Puts text on the clipboard; the agent never does, its tests do.
    void setPlainText(const std::string& text);

private:
    struct State;
    void fetch() const;

    ::GtkClipboard* clipboard_;
    std::shared_ptr<State> state_;
    unsigned long ownerChangeHandler_ = 0;
    bool changesNotified_ = false;
};

}  // namespace velmar::linux_backend
