#pragma once
// User settings in one JSON object on disk, by default
// $XDG_CONFIG_HOME/velmar/settings.json. Read once when constructed, kept in
// memory, and rewritten whole and atomically at every change, so the file is
// always either the old or the new version. A missing file is a first run. An
// empty, half-written or corrupt file, or one that cannot be read, reads as
// empty and is replaced at the next change; a file that cannot be written
// leaves the change in memory for this session. Each such problem is logged
// once, as one "[agent] " line; nothing is ever written anywhere else.
// Main thread only.

#include "platform/Settings.hpp"

#include <filesystem>

#include <nlohmann/json.hpp>

namespace velmar {
class LogSink;
class ProcessEnvironment;
}  // namespace velmar

namespace velmar::linux_backend {

class JsonFileSettings final : public Settings {
public:
    JsonFileSettings(std::filesystem::path file, LogSink& log);

    static std::filesystem::path defaultPath(const ProcessEnvironment& environment);

    std::optional<std::string> string(std::string_view key) const override;
    std::optional<bool> boolean(std::string_view key) const override;
    std::optional<double> number(std::string_view key) const override;

    void setString(std::string_view key, std::string value) override;
    void setBoolean(std::string_view key, bool value) override;
    void setNumber(std::string_view key, double value) override;
    void remove(std::string_view key) override;

    const std::filesystem::path& file() const { return file_; }

private:
    void load();
    void store(std::string_view key, nlohmann::json value);
    void save();
    void report(const std::string& problem);
    const nlohmann::json* find(std::string_view key) const;

    std::filesystem::path file_;
    LogSink& log_;
    nlohmann::json values_ = nlohmann::json::object();
    // The file on disk holds exactly `values_`.
    bool inSync_ = false;
    bool problemReported_ = false;
};

}  // namespace velmar::linux_backend
