#pragma once
// The capture controllers' trace: "[capture-debug] " lines, written only when
// the environment switch VELMAR_CAPTURE_DEBUG is "1". The switch is read once,
// when the composition root makes the one instance the controllers share.

#include <string>
#include <string_view>

namespace velmar {

class LogSink;
class ProcessEnvironment;

class CaptureDebug {
public:
    static constexpr std::string_view environmentSwitch = "VELMAR_CAPTURE_DEBUG";

    // Off: writes nothing.
    CaptureDebug() = default;
    CaptureDebug(const ProcessEnvironment& environment, LogSink& log);

    bool enabled() const { return log_ != nullptr; }
    void line(std::string_view message) const;

    // "…" and the last six characters of a conversation key (whole characters).
    static std::string keySuffix(std::string_view key);

private:
    LogSink* log_ = nullptr;
};

}  // namespace velmar
