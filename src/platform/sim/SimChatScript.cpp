#include "platform/sim/SimChatScript.hpp"

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

}  // namespace

std::optional<SimChatScript> SimChatScript::parse(const nlohmann::json& script, std::string& error) {
    SimChatScript out;
    if (!script.is_object()) {
        error = "expected object at script";
        return std::nullopt;
    }
    const auto apps = script.find("applications");
    if (apps == script.end() || !apps->is_array()) {
        error = "expected array at script.applications";
        return std::nullopt;
    }
    for (std::size_t i = 0; i < apps->size(); ++i) {
        const auto& a = (*apps)[i];
        const auto at = "script.applications[" + std::to_string(i) + "]";
        if (!require(a, "pid", &nlohmann::json::is_number_integer, "integer", at, error) ||
            !require(a, "app_id", &nlohmann::json::is_string, "string", at, error))
            return std::nullopt;
        RunningApplication app;
        app.pid = a["pid"].get<int>();
        app.appId = a["app_id"].get<std::string>();
        if (a.contains("name") && a["name"].is_string()) app.localizedName = a["name"].get<std::string>();
        out.applications_.push_back(std::move(app));
    }
    if (const auto steps = script.find("steps"); steps != script.end()) {
        if (!steps->is_array()) {
            error = "expected array at script.steps";
            return std::nullopt;
        }
        for (std::size_t i = 0; i < steps->size(); ++i) {
            const auto& s = (*steps)[i];
            const auto at = "script.steps[" + std::to_string(i) + "]";
            if (!require(s, "pid", &nlohmann::json::is_number_integer, "integer", at, error) ||
                !require(s, "window", &nlohmann::json::is_object, "object", at, error))
                return std::nullopt;
            Step step;
            step.pid = s["pid"].get<int>();
            step.window = s["window"];
            if (s.contains("after_ms") && s["after_ms"].is_number()) step.after = Duration(s["after_ms"].get<long long>());
            out.steps_.push_back(std::move(step));
        }
    }
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
