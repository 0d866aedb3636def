#pragma once
// Modal alerts and the e-mail sign-in dialog. Both block until the user
// answers (a nested loop on the main thread, as native modal dialogs do).

#include <optional>
#include <string>
#include <vector>

namespace velmar {

struct Alert {
    enum class Style { informational, warning, critical };
    Style style = Style::informational;
    std::string message;
    std::string informativeText;
    std::vector<std::string> buttons;  // first is the default
};

struct CredentialsPrompt {
    std::string message;
    std::string informativeText;
    std::string emailPlaceholder;
    std::string passwordPlaceholder;
    std::string confirmButton;
    std::string cancelButton;
};

struct Credentials {
    std::string email;
    std::string password;
    bool operator==(const Credentials&) const = default;
};

class Alerts {
public:
    virtual ~Alerts() = default;
    // The index of the chosen button; -1 when the alert was dismissed otherwise.
    virtual int run(const Alert& alert) = 0;
    // What was typed when confirmed (untrimmed); absent when cancelled.
    virtual std::optional<Credentials> askCredentials(const CredentialsPrompt& prompt) = 0;
};

}  // namespace velmar
