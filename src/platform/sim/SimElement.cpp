#include "platform/sim/SimElement.hpp"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace velmar::sim {

void SimReadLog::record(const SimElement* element, std::string_view attribute) {
    ++total_;
    tally(element, attribute);
}

void SimReadLog::record(const SimElement* element, std::span<const std::string_view> attributes) {
    ++total_;
    for (auto attribute : attributes) tally(element, attribute);
}

void SimReadLog::tally(const SimElement* element, std::string_view attribute) {
    ++attributeReads_;
    elements_.insert(element);
    auto key = std::make_pair(element, std::string(attribute));
    ++perElement_[key];
    auto it = perAttribute_.find(attribute);
    if (it == perAttribute_.end()) perAttribute_.emplace(std::string(attribute), 1);
    else ++it->second;
}

std::vector<SimReadLog::Repeat> SimReadLog::repeats() const {
    std::vector<Repeat> out;
    for (const auto& [key, reads] : perElement_) {
        if (reads > 1) out.push_back({key.first, key.second, reads});
    }
    return out;
}

std::size_t SimReadLog::count(const SimElement* element, std::string_view attribute) const {
    auto it = perElement_.find(std::make_pair(element, std::string(attribute)));
    return it == perElement_.end() ? 0 : it->second;
}

std::size_t SimReadLog::count(std::string_view attribute) const {
    auto it = perAttribute_.find(attribute);
    return it == perAttribute_.end() ? 0 : it->second;
}

void SimReadLog::reset() {
    perElement_.clear();
    perAttribute_.clear();
    elements_.clear();
    total_ = 0;
    attributeReads_ = 0;
}

SimElementPtr SimElement::make(std::string role, std::shared_ptr<SimReadLog> log) {
    if (!log) log = std::make_shared<SimReadLog>();
    SimElementPtr e(new SimElement(std::move(log)));
    e->setString("AXRole", std::move(role));
    return e;
}

SimElement& SimElement::set(std::string name, AXAttributeValue value) {
    attributes_.insert_or_assign(std::move(name), std::move(value));
    return *this;
}

SimElement& SimElement::remove(const std::string& name) {
    attributes_.erase(name);
    return *this;
}

SimElement& SimElement::script(std::string name, std::vector<std::optional<AXAttributeValue>> values) {
    scripts_[std::move(name)] = std::deque<std::optional<AXAttributeValue>>(values.begin(), values.end());
    return *this;
}

SimElement& SimElement::failReads(std::string name, bool fail) {
    if (fail) failing_.insert(std::move(name));
    else failing_.erase(name);
    return *this;
}

SimElement& SimElement::destroy() {
    destroyed_ = true;
    return *this;
}

SimElement& SimElement::answerOneByOne(bool oneByOne) {
    oneByOne_ = oneByOne;
    for (auto& c : children_) c->answerOneByOne(oneByOne);
    return *this;
}

SimElementPtr SimElement::append(SimElementPtr child) {
    child->parent_ = weak_from_this();
    child->adoptLog(log_);
    if (oneByOne_) child->answerOneByOne();
    children_.push_back(child);
    return child;
}

SimElementPtr SimElement::append(std::string role) { return append(make(std::move(role), log_)); }

void SimElement::removeChild(const SimElementPtr& child) {
    std::erase(children_, child);
    child->parent_.reset();
}

void SimElement::clearChildren() {
    for (auto& c : children_) c->parent_.reset();
    children_.clear();
}

void SimElement::adoptLog(const std::shared_ptr<SimReadLog>& log) {
    if (log_ == log) return;
    log_ = log;
    for (auto& c : children_) c->adoptLog(log);
}

std::optional<AXAttributeValue> SimElement::copyAttribute(std::string_view name) const {
    if (log_) log_->record(this, name);
    return answer(name);
}

std::vector<std::optional<AXAttributeValue>> SimElement::copyAttributes(std::span<const std::string_view> names) const {
    if (oneByOne_) return PlatformElement::copyAttributes(names);
    if (log_) log_->record(this, names);
    std::vector<std::optional<AXAttributeValue>> out;
    out.reserve(names.size());
    for (auto name : names) out.push_back(answer(name));
    return out;
}

std::vector<std::optional<AXAttributeValue>> SimElement::childrenFrom(std::size_t from, std::size_t most) const {
    if (log_) log_->record(this, "AXChildrenFrom");
    std::vector<std::optional<AXAttributeValue>> out(2);
    if (destroyed_) return out;
    std::vector<AXElementRef> all;
    if (auto list = answer("AXChildren"); list && std::holds_alternative<std::vector<AXElementRef>>(*list))
        all = std::get<std::vector<AXElementRef>>(std::move(*list));
    out[0] = AXAttributeValue(static_cast<double>(all.size()));
    std::vector<AXElementRef> members;
    if (from < all.size() && all.size() - from <= most) members.assign(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
    out[1] = AXAttributeValue(std::move(members));
    return out;
}

std::optional<AXAttributeValue> SimElement::answer(std::string_view name) const {
    if (destroyed_ || failing_.count(name)) return std::nullopt;
    if (auto it = scripts_.find(name); it != scripts_.end() && !it->second.empty()) {
        auto value = it->second.front();
        if (it->second.size() > 1) it->second.pop_front();
        return value;
    }
    if (auto it = attributes_.find(name); it != attributes_.end()) return it->second;
    if (name == "AXChildren") {
        if (children_.empty()) return std::nullopt;
        std::vector<AXElementRef> refs(children_.begin(), children_.end());
        return AXAttributeValue(std::move(refs));
    }
    if (name == "AXParent") {
        if (auto p = parent_.lock()) return AXAttributeValue(AXElementRef(p));
        return std::nullopt;
    }
    return std::nullopt;
}

bool SimElement::setBoolAttribute(std::string_view name, bool value) const {
    if (destroyed_ || failing_.count(name)) return false;
    writes_.emplace_back(std::string(name), value);
    const_cast<SimElement*>(this)->attributes_.insert_or_assign(std::string(name), value);
    return true;
}

namespace {
std::string path(const std::string& at, const std::string& key) { return at.empty() ? key : at + "." + key; }

SimElementPtr build(const nlohmann::json& node, const std::shared_ptr<SimReadLog>& log, const std::string& at, int depth) {
    if (depth > 2000) throw std::invalid_argument("tree nests too deeply at " + at);
    if (!node.is_object()) throw std::invalid_argument("expected object at " + (at.empty() ? "(root)" : at));
    auto role = node.value("role", std::string("?"));
    auto e = SimElement::make(role, log);
    if (!node.contains("role")) e->remove("AXRole");
    static const std::pair<const char*, const char*> strings[] = {
        {"subrole", "AXSubrole"}, {"value", "AXValue"}, {"title", "AXTitle"},
        {"description", "AXDescription"}, {"placeholder", "AXPlaceholderValue"}};
    for (auto [key, attr] : strings) {
        if (auto it = node.find(key); it != node.end() && it->is_string()) e->setString(attr, it->get<std::string>());
    }
    if (auto it = node.find("url"); it != node.end() && it->is_string()) e->set("AXURL", AXURLValue{it->get<std::string>()});
    if (auto it = node.find("domClassList"); it != node.end() && it->is_array()) {
        e->set("AXDOMClassList", it->get<std::vector<std::string>>());
    }
    if (auto it = node.find("attributes"); it != node.end() && it->is_object()) {
        for (auto& [name, v] : it->items()) {
            if (v.is_string()) e->setString(name, v.get<std::string>());
            else if (v.is_boolean()) e->set(name, v.get<bool>());
            else if (v.is_number()) e->set(name, v.get<double>());
            else if (v.is_array()) e->set(name, v.get<std::vector<std::string>>());
        }
    }
    if (auto it = node.find("children"); it != node.end() && it->is_array()) {
        std::size_t i = 0;
        for (const auto& child : *it) {
            e->append(build(child, log, path(at, "children[" + std::to_string(i++) + "]"), depth + 1));
        }
    }
    return e;
}
}  // namespace

SimElementPtr SimElement::fromJSON(const nlohmann::json& node, std::shared_ptr<SimReadLog> log) {
    if (!log) log = std::make_shared<SimReadLog>();
    return build(node, log, "", 0);
}

}  // namespace velmar::sim
