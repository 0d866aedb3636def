#pragma once
// The capture-check manifest: known baseline conversations, one entry per
// surface and browser, with the texts the harness looks for and types.

#include "json/JsonDecoding.hpp"
#include "surfaces/BrowserProfile.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

struct CaptureManifest {
    static constexpr std::string_view defaultSentinel = "Fernhollow capture baseline";
    static constexpr std::string_view defaultSendPrompt =
        "Fernhollow capture baseline ping. Reply with the single word OK.";
    static constexpr double defaultOpenSec = 20;
    static constexpr double defaultSendSec = 90;

    enum class Mode { conversation, panelZeroState };

    struct Entry {
        std::string id;
        std::string surface;
        std::string browser;  // "native" or a browser slug
        std::string url;
        Mode mode = Mode::conversation;
        std::optional<std::vector<std::string>> panelButtonLabels;
        std::optional<std::string> deepLink;
        std::optional<std::string> sidebarTitle;
        std::optional<std::string> firstPrompt;
        std::optional<bool> expectModel;
        bool send = true;
        std::optional<double> sendSec;

        bool isNative() const { return browser == "native"; }
    };

    int schema = 1;
    std::string sentinel{defaultSentinel};
    std::string sendPrompt{defaultSendPrompt};
    double openSec = defaultOpenSec;
    double sendSec = defaultSendSec;
    std::vector<Entry> entries;

    // Throws jsondecode::DecodeError naming the place of the first problem.
    static CaptureManifest decode(const jsondecode::Json& json);
    // Also throws jsondecode::InputError when the file cannot be read.
    static CaptureManifest load(const std::filesystem::path& file);

    // Every problem, each as the entry id, ": " and the message, in entry order.
    std::vector<std::string> validate(DesktopPlatform platform) const;
    // The conversation key the entry's target must show: for the ChatGPT app
    // the hash of its first prompt, otherwise the one its address names.
    std::optional<std::string> expectedKey(const Entry& entry) const;
    // The entries on the given surfaces and browsers (all when a list is absent).
    std::vector<Entry> select(const std::optional<std::vector<std::string>>& surfaces,
                              const std::optional<std::vector<std::string>>& browsers) const;
    // The send timeout of an entry: its own, else the manifest's.
    double sendSecFor(const Entry& entry) const { return entry.sendSec.value_or(sendSec); }
};

}  // namespace velmar
