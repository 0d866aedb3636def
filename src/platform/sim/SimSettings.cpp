#include "platform/sim/SimSettings.hpp"

namespace velmar::sim {

template <class T>
std::optional<T> SimSettings::get(std::string_view key) const {
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    if (const T* v = std::get_if<T>(&it->second)) return *v;
    return std::nullopt;
}

std::optional<std::string> SimSettings::string(std::string_view key) const { return get<std::string>(key); }
std::optional<bool> SimSettings::boolean(std::string_view key) const { return get<bool>(key); }
std::optional<double> SimSettings::number(std::string_view key) const { return get<double>(key); }

void SimSettings::setString(std::string_view key, std::string value) {
    values_.insert_or_assign(std::string(key), Value(std::move(value)));
    ++writes_;
}

void SimSettings::setBoolean(std::string_view key, bool value) {
    values_.insert_or_assign(std::string(key), Value(value));
    ++writes_;
}

void SimSettings::setNumber(std::string_view key, double value) {
    values_.insert_or_assign(std::string(key), Value(value));
    ++writes_;
}

void SimSettings::remove(std::string_view key) {
    if (auto it = values_.find(key); it != values_.end()) values_.erase(it);
    ++writes_;
}

}  // namespace velmar::sim
