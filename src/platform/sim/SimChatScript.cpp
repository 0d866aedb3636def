#include "platform/sim/SimChatScript.hpp"

#include <functional>

namespace velmar::sim {

namespace {

// Whether `o` is an object whose `key` is of the kind `is` tells; otherwise
// the error says what was expected where.
bool require(const nlohmann::json& o, const char* key, bool (nlohmann::json::*is)() const noexcept, const char* kind,
             const std::string& at, std::string& error) {
    if (o.is_object() && o.contains(key) && (o[key].*is)()) return true;
    error = std::string("expected ") + kind + " at " + at + "." + key;
    return false;
}

// Hands each member of the array `key` of the script to `take` with its
// place; a missing optional array is empty, anything else not an array an error.
bool eachOf(const nlohmann::json& script, const char* key, bool required, std::string& error,
            const std::function<bool(const nlohmann::json&, const std::string&)>& take) {
    const auto list = script.find(key);
    if (list == script.end() && !required) return true;
    const std::string at = std::string("script.") + key;
    if (list == script.end() || !list->is_array()) {
        error = "expected array at " + at;
        return false;
    }
    for (std::size_t i = 0; i < list->size(); ++i) {
        if (!take((*list)[i], at + "[" + std::to_string(i) + "]")) return false;
    }
    return true;
}

}  // namespace

std::optional<SimChatScript> SimChatScript::parse(const nlohmann::json& script, std::string& error) {
    SimChatScript out;
    if (!script.is_object()) {
        error = "expected object at script";
        return std::nullopt;
    }
    const bool read =
        eachOf(script, "applications", true, error, [&](const nlohmann::json& a, const std::string& at) {
            if (!require(a, "pid", &nlohmann::json::is_number_integer, "integer", at, error) ||
                !require(a, "app_id", &nlohmann::json::is_string, "string", at, error))
                return false;
            RunningApplication app;
            app.pid = a["pid"].get<int>();
            app.appId = a["app_id"].get<std::string>();
            if (a.contains("name") && a["name"].is_string()) app.localizedName = a["name"].get<std::string>();
            out.applications_.push_back(std::move(app));
            return true;
        }) &&
        eachOf(script, "steps", false, error, [&](const nlohmann::json& s, const std::string& at) {
            if (!require(s, "pid", &nlohmann::json::is_number_integer, "integer", at, error) ||
                !require(s, "window", &nlohmann::json::is_object, "object", at, error))
                return false;
            Step step;
            step.pid = s["pid"].get<int>();
            step.window = s["window"];
            if (s.contains("after_ms") && s["after_ms"].is_number()) step.after = Duration(s["after_ms"].get<long long>());
            out.steps_.push_back(std::move(step));
            return true;
        });
    if (!read) return std::nullopt;
    return out;
}

void SimChatScript::play(MainLoop& loop, SimWorkspace& workspace, SimAccessibility& accessibility) {
    for (const auto& app : applications_) {
        auto element = SimElement::make("AXApplication");
        if (app.localizedName) element->setString("AXTitle", *app.localizedName);
        auto window = element->append("AXWindow");
        window->setString("AXTitle", app.localizedName.value_or(""));
        window->set("AXMinimized", false);
        element->set("AXWindows", std::vector<AXElementRef>{AXElementRef(window)});
        element->set("AXFocusedWindow", AXElementRef(window));
        windows_[app.pid] = window;
        accessibility.addApplication(app.pid, element);
        workspace.launch(app);
    }
    if (!steps_.empty()) next_ = loop.postDelayed(steps_[0].after, [this, &loop, &accessibility] { runStep(0, loop, accessibility); });
}

void SimChatScript::runStep(std::size_t index, MainLoop& loop, SimAccessibility& accessibility) {
    const auto& step = steps_[index];
    if (auto it = windows_.find(step.pid); it != windows_.end()) {
        it->second->clearChildren();
        it->second->append(SimElement::fromJSON(step.window));
        accessibility.post(step.pid, "AXValueChanged", it->second);
    }
    if (index + 1 < steps_.size())
        next_ = loop.postDelayed(steps_[index + 1].after,
                                 [this, index, &loop, &accessibility] { runStep(index + 1, loop, accessibility); });
}

}  // namespace velmar::sim
