#include "capture/CaptureDebug.hpp"

#include "platform/LogSink.hpp"
#include "platform/ProcessEnvironment.hpp"

namespace velmar {

CaptureDebug::CaptureDebug(const ProcessEnvironment& environment, LogSink& log)
    : log_(environment.isOn(environmentSwitch) ? &log : nullptr) {}

void CaptureDebug::line(std::string_view message) const {
    if (!log_) return;
    std::string text = "[capture-debug] ";
    text += message;
    log_->writeLine(text);
}

std::string CaptureDebug::keySuffix(std::string_view key) {
    // Keys are ASCII ids in practice; cut on code-point boundaries regardless.
    std::size_t start = key.size();
    for (int kept = 0; start > 0 && kept < 6;) {
        --start;
        if ((static_cast<unsigned char>(key[start]) & 0xC0) != 0x80) ++kept;
    }
    return "…" + std::string(key.substr(start));
}

}  // namespace velmar
