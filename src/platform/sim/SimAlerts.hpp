#pragma once
// Alerts answered from a script: each alert takes the next queued button
// index (or -1 when none is queued), each credentials prompt the next queued
// answer (or a cancel). Everything shown is recorded.

#include "platform/Alerts.hpp"

#include <deque>
#include <vector>

namespace velmar::sim {

class SimAlerts final : public Alerts {
public:
    int run(const Alert& alert) override {
        shownAlerts.push_back(alert);
        if (buttonAnswers.empty()) return -1;
        int answer = buttonAnswers.front();
        buttonAnswers.pop_front();
        return answer;
    }
    std::optional<Credentials> askCredentials(const CredentialsPrompt& prompt) override {
        shownPrompts.push_back(prompt);
        if (credentialAnswers.empty()) return std::nullopt;
        auto answer = credentialAnswers.front();
        credentialAnswers.pop_front();
        return answer;
    }

    std::deque<int> buttonAnswers;
    std::deque<std::optional<Credentials>> credentialAnswers;
    std::vector<Alert> shownAlerts;
    std::vector<CredentialsPrompt> shownPrompts;
};

}  // namespace velmar::sim
