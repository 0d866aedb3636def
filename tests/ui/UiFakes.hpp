#pragma once
// Small stand-ins for the runtime ports the interface tests read.

#include "platform/InstallLayout.hpp"
#include "platform/LogSink.hpp"
#include "platform/LoginService.hpp"
#include "platform/ProcessEnvironment.hpp"

#include <map>
#include <string>
#include <vector>

namespace velmar::testing {

struct RecordingLog final : LogSink {
    void writeLine(std::string_view line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

struct FakeEnvironment final : ProcessEnvironment {
    std::optional<std::string> get(std::string_view name) const override {
        auto it = values.find(std::string(name));
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    std::map<std::string, std::string> all() const override { return values; }
    std::map<std::string, std::string> values;
};

struct FakeInstallLayout final : InstallLayout {
    std::optional<std::filesystem::path> resource(std::string_view, std::string_view) const override { return {}; }
    std::optional<std::string> readResource(std::string_view, std::string_view) const override { return {}; }
    std::optional<std::filesystem::path> resourceDirectory(std::string_view name) const override {
        auto it = directories.find(std::string(name));
        return it == directories.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<std::filesystem::path> auxiliaryExecutable(std::string_view) const override { return {}; }
    std::optional<std::string> shortVersion() const override { return version; }
    std::optional<std::string> bundleIdentifier() const override { return identifier; }
    std::filesystem::path executablePath() const override { return "/usr/bin/velmar-desktop-agent"; }
    std::filesystem::path installLocation() const override { return "/usr"; }

    std::map<std::string, std::filesystem::path> directories;
    std::optional<std::string> version;
    std::optional<std::string> identifier;
};

struct FakeLoginService final : LoginService {
    Status status() const override { return current; }
    std::optional<PlatformError> registerItem() override { return {}; }
    std::optional<PlatformError> unregisterItem() override { return {}; }
    Status current = Status::notRegistered;
};

}  // namespace velmar::testing
