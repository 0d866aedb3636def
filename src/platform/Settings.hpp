#pragma once
// Persistent preferences of the user (the standard user defaults): typed values
// under string keys. A missing key, or a value stored with another type, reads
// as absent. Writes never fail visibly; a backend that cannot persist logs it.

#include <optional>
#include <string>
#include <string_view>

namespace velmar {

class Settings {
public:
    virtual ~Settings() = default;

    virtual std::optional<std::string> string(std::string_view key) const = 0;
    virtual std::optional<bool> boolean(std::string_view key) const = 0;
    virtual std::optional<double> number(std::string_view key) const = 0;

    virtual void setString(std::string_view key, std::string value) = 0;
    virtual void setBoolean(std::string_view key, bool value) = 0;
    virtual void setNumber(std::string_view key, double value) = 0;
    virtual void remove(std::string_view key) = 0;
};

}  // namespace velmar
