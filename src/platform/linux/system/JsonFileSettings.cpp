#include "platform/linux/system/JsonFileSettings.hpp"

#include <sys/stat.h>

#include "platform/LogSink.hpp"
#include "platform/linux/session/XdgDirectories.hpp"
#include "platform/linux/system/Files.hpp"

namespace velmar::linux_backend {

namespace {

// The settings hold the device's identifier: the folder is the user's alone
// (0700), the file too (0600), narrowed when an older version left them wider.
void makePrivate(const std::filesystem::path& file) {
    struct stat st {};
    const auto folder = file.parent_path();
    if (::stat(folder.c_str(), &st) == 0 && (st.st_mode & 077) != 0) ::chmod(folder.c_str(), 0700);
    if (::stat(file.c_str(), &st) == 0 && (st.st_mode & 077) != 0) ::chmod(file.c_str(), 0600);
}

}  // namespace

JsonFileSettings::JsonFileSettings(std::filesystem::path file, LogSink& log) : file_(std::move(file)), log_(log) {
    makePrivate(file_);
    load();
}

std::filesystem::path JsonFileSettings::defaultPath(const ProcessEnvironment& environment) {
    return XdgDirectories::configHome(environment) / "velmar" / "settings.json";
}

void JsonFileSettings::load() {
    FileRead read = readWholeFile(file_);
    switch (read.outcome) {
        case FileRead::Outcome::missing:
            return;
        case FileRead::Outcome::failed:
            report("cannot read settings " + file_.string() + " (" + read.problem + "); using empty settings");
            return;
        case FileRead::Outcome::read:
            break;
    }
    auto json = nlohmann::json::parse(read.contents, nullptr, /*allow_exceptions=*/false);
    if (!json.is_object()) {
        const char* what = read.contents.empty() ? "it is empty" : json.is_discarded() ? "it is not valid JSON" : "it is not a JSON object";
        report("settings " + file_.string() + " unusable (" + what + "); using empty settings, the file is replaced at the next change");
        return;
    }
    values_ = std::move(json);
    inSync_ = true;
}

void JsonFileSettings::report(const std::string& problem) {
    if (problemReported_) return;
    problemReported_ = true;
    log_.writeLine("[agent] " + problem);
}

const nlohmann::json* JsonFileSettings::find(std::string_view key) const {
    auto it = values_.find(key);
    return it == values_.end() ? nullptr : &*it;
}

std::optional<std::string> JsonFileSettings::string(std::string_view key) const {
    const auto* v = find(key);
    if (!v || !v->is_string()) return std::nullopt;
    return v->get<std::string>();
}

std::optional<bool> JsonFileSettings::boolean(std::string_view key) const {
    const auto* v = find(key);
    if (!v || !v->is_boolean()) return std::nullopt;
    return v->get<bool>();
}

std::optional<double> JsonFileSettings::number(std::string_view key) const {
    const auto* v = find(key);
    if (!v || !v->is_number()) return std::nullopt;
    return v->get<double>();
}

void JsonFileSettings::setString(std::string_view key, std::string value) { store(key, std::move(value)); }
void JsonFileSettings::setBoolean(std::string_view key, bool value) { store(key, value); }
void JsonFileSettings::setNumber(std::string_view key, double value) { store(key, value); }

void JsonFileSettings::remove(std::string_view key) {
    auto it = values_.find(key);
    if (it == values_.end() && inSync_) return;
    if (it != values_.end()) values_.erase(it);
    save();
}

void JsonFileSettings::store(std::string_view key, nlohmann::json value) {
    const auto* old = find(key);
    if (old && *old == value && inSync_) return;
    values_[std::string(key)] = std::move(value);
    save();
}

void JsonFileSettings::save() {
    // Strings from other applications may hold broken UTF-8; replace rather than throw.
    const std::string text = values_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    std::error_code ec;
    if (std::filesystem::create_directories(file_.parent_path(), ec)) makePrivate(file_);
    if (auto problem = writeFileAtomically(file_, text, 0600)) {
        inSync_ = false;
        report("cannot save settings " + file_.string() + " (" + *problem + "); changes are kept until the agent quits");
        return;
    }
    inSync_ = true;
    problemReported_ = false;
}

}  // namespace velmar::linux_backend
