#pragma once
// In-memory user defaults with a write counter.

#include "platform/Settings.hpp"

#include <cstddef>
#include <map>
#include <variant>

namespace velmar::sim {

class SimSettings final : public Settings {
public:
    std::optional<std::string> string(std::string_view key) const override;
    std::optional<bool> boolean(std::string_view key) const override;
    std::optional<double> number(std::string_view key) const override;

    void setString(std::string_view key, std::string value) override;
    void setBoolean(std::string_view key, bool value) override;
    void setNumber(std::string_view key, double value) override;
    void remove(std::string_view key) override;

    // Writes and removals so far.
    std::size_t writes() const { return writes_; }
    bool contains(std::string_view key) const { return values_.find(key) != values_.end(); }

private:
    using Value = std::variant<std::string, bool, double>;
    template <class T>
    std::optional<T> get(std::string_view key) const;

    std::map<std::string, Value, std::less<>> values_;
    std::size_t writes_ = 0;
};

}  // namespace velmar::sim
