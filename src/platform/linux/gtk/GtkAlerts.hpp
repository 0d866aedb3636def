#pragma once
// Alerts and the e-mail sign-in dialog as modal GTK dialogs. Needs GTK set up
// (`GtkWindowing::displayAvailable()`).

#include "platform/Alerts.hpp"

namespace velmar::linux_backend {

class GtkAlerts final : public Alerts {
public:
    int run(const Alert& alert) override;
    std::optional<Credentials> askCredentials(const CredentialsPrompt& prompt) override;
};

}  // namespace velmar::linux_backend
